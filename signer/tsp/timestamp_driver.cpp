#include "signer/tsp/timestamp_driver.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#include "core/text/hex_text.h"
#include "core/toolkit/wipe.h"
#include "signer/errors.h"
#include "signer/library_buffer.h"
#include "signer/tsp/file_digest.h"
#include "tsp/Halvery.h"
#include "tsp/protocol/server_certificate.h"

namespace {

// Halvery's texts come from the heap the DLLs share (msvcrt's) and go back
// there.
struct THalveryText {
    char* text;
    ~THalveryText() { std::free(text); }
    std::string Get() const { return text ? text : ""; }
};

std::string ErrorText(std::uint32_t code)
{
    THalveryText text{_GetTSPErrorDescription(code)};
    return text.Get();
}

// One request's record, destroyed on every path once initialised. Its hash
// is the driver's digest, so the record is destroyed without it.
class TTimeStampRecord {
public:
    TTimeStampRecord() { initialised_ = _InitTSPData(&record_) == 0; }
    ~TTimeStampRecord()
    {
        if (initialised_) _DestroyTSPData2(&record_);
    }
    TTimeStampRecord(const TTimeStampRecord&) = delete;
    TTimeStampRecord& operator=(const TTimeStampRecord&) = delete;
    bool Initialised() const { return initialised_; }
    TSPData* Get() { return &record_; }
    std::string ErrorText() { return ::ErrorText(_GetTSPErrorCode(&record_)); }

private:
    TSPData record_ = {};
    bool initialised_ = false;
};

using TRequestBuffer = TLibraryBuffer<_DestroyTSPRequest>;
using TResponseBuffer = TLibraryBuffer<_DestroyTSPResponse>;

// A digest wiped before its memory is released.
struct TWipedDigest {
    std::vector<unsigned char> bytes;
    ~TWipedDigest()
    {
        if (!bytes.empty()) FillBytes(bytes.data(), 0, bytes.size());
    }
};

// The file's SHA-1 digest; a file that cannot be opened is a failure of the
// driver with the open error's text.
bool DigestFile(const std::string& fileName, TWipedDigest& digest, std::string& errorText)
{
    try {
        return DigestBlockStreaming(fileName, CALG_SHA1, digest.bytes, errorText);
    } catch (const EFileOpenError& error) {
        errorText = error.what();
        return false;
    }
}

}  // namespace

bool GetTimeStamp(std::string url, std::string fileName, std::vector<unsigned char>& token, const unsigned char* ca,
                  unsigned long caLength, std::string& message)
{
    // The record points at the digest: the digest outlives it.
    TWipedDigest digest;
    TTimeStampRecord record;
    if (!record.Initialised()) {
        message = "Error initialize TSPData structure";
        return false;
    }
    TSPData* data = record.Get();
    std::string digestError;
    if (!DigestFile(fileName, digest, digestError)) {
        message = "Error DigestBlockStreaming: " + digestError;
        return false;
    }
    if (_SetTimeStampHash(data, digest.bytes.data(), static_cast<std::uint32_t>(digest.bytes.size())) != 0) {
        message = "Error SetTimeStampHash";
        return false;
    }
    ByteBuffer caCertificate = {const_cast<unsigned char*>(ca), ca ? caLength : 0};
    // The nonce binds the reply to this request: no stamp without one.
    if (_SetNonce(data) != 0) {
        message = "Error SetNonce";
        return false;
    }
    // A URL the record cannot hold fails at the exchange with its own text.
    if (_SetTSPServerURL(data, url.c_str()) != 0) message = "Error SetTSPServerURL";

    TRequestBuffer request;
    if (_EncodeTSPRequest(data, request.Get()) != 0) {
        message = record.ErrorText();
        return false;
    }
    TResponseBuffer response;
    if (_TSPTransactionHTTP(request.Get(), response.Get(), data) != 0) {
        message = record.ErrorText();
        return false;
    }
    request.Reset();
    if (_DecodeTSPResponse(data, response.Get(), &caCertificate) != 0) {
        message = record.ErrorText();
        return false;
    }
    if (!_TimeStampGranted(data)) {
        THalveryText status{_GetTSPResponseStatusDescription(data)};
        THalveryText failure{_GetTSPResponseFailureInfoDescription(data)};
        message = status.Get() + " : " + failure.Get();
        return false;
    }
    const int size = _GetTimeStampSize(data);
    std::vector<unsigned char> copy;
    try {
        if (size > 0) copy.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        copy.clear();
    }
    if (copy.empty() || _CopyTimeStamp(data, copy.data()) != 0) {
        message = "Unable to copy Timestamp";
        return false;
    }
    token.swap(copy);
    return true;
}

bool VerifyTimeStamp(const unsigned char* token, unsigned long tokenLength, std::string fileName,
                     const unsigned char* ca, unsigned long caLength, int& code, std::string& message)
{
    ByteBuffer stored = {const_cast<unsigned char*>(token), token ? tokenLength : 0};
    TLibraryCopy genTime, serial, hashed, signer, subject, issuer;
    std::uint32_t error = 0;
    if (_GetTimeStampData(&stored, &genTime.buffer, &serial.buffer, &hashed.buffer, &signer.buffer,
                          &subject.buffer, &issuer.buffer, &error) != 0) {
        message = ErrorText(error);
        return false;
    }
    TWipedDigest digest;
    std::string digestError;
    if (!DigestFile(fileName, digest, digestError)) {
        message = "Error obteniendo digestion del bloque estampillado: " + digestError;
        return false;
    }
    if (hashed.Size() != digest.bytes.size() || CompareBytes(hashed.Data(), digest.bytes.data(), hashed.Size()) != 0) {
        message = "Digestiones no coinciden";
        code = 1;
        return false;
    }
    if (CheckServerCertificate(ca, ca ? caLength : 0, signer.buffer) != 1) {
        message = "Certificado del servidor de estampillas no valido";
        code = 2;
        return false;
    }
    message = "Fecha: " + genTime.Text() + "\r\nSerial: " + HexText(serial.Data(), serial.Size(), true) +
              "\r\nDigestion: " + HexText(hashed.Data(), hashed.Size(), true) + "\r\n";
    return true;
}
