// Records set up as for one query with their request encoded, answers of
// `openssl ocsp` to that request made offline, and the changes a hostile
// answer makes: bytes flipped, times rewritten and signed again by openssl.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "core/datasets/datasets.h"
#include "core/der/der_reader.h"
#include "ocsp/Dunmere.h"
#include "tests/support/ocsp_openssl_answer.h"
#include "tests/support/test_util.h"

namespace dunmere_test {

using Bytes = std::vector<unsigned char>;

struct RecordSettings {
    std::string target = "signer.cert.der";  // of the test PKI
    int library = OCSP_LIB_CRYPTOAPI;
    const char* tolerance = nullptr;         // the time check on, HHMMSS
    std::uint32_t responderOptions = 0;
    std::uint32_t revocationOptions = 0;
};

// A record with one target of the CA and its request encoded.
class TestRecord {
public:
    explicit TestRecord(const RecordSettings& settings = RecordSettings())
    {
        const std::string url = "http://127.0.0.1:1/";
        const Bytes target = testsupport::ReadFile(testsupport::Pki(settings.target));
        const Bytes ca = testsupport::ReadFile(testsupport::Pki("ca.cert.der"));
        ready_ = _InitOCSPData(&record) == 0;
        ByteBuffer request = {nullptr, 0};
        if (!ready_ ||
            _SetOCSPClient(2, settings.tolerance ? 0 : 1, 1, 0, url.c_str(), static_cast<int>(url.size()),
                           settings.tolerance, &record, settings.responderOptions, settings.revocationOptions) != 0 ||
            _SetOCSPTarget(target.data(), static_cast<std::uint32_t>(target.size()), &record) != 0 ||
            _SetOCSPIssuer(ca.data(), static_cast<std::uint32_t>(ca.size()), &record) != 0 ||
            _SetCryptographicLibrary(&record, settings.library) != 0 || _EncodeOCSPRequest(&record, &request) != 0)
            return;
        this->request.assign(request.pointer, request.pointer + request.length);
        _DestroyOCSPRequest(&request);
    }
    ~TestRecord()
    {
        if (ready_) _DestroyOCSPData(&record);
    }
    TestRecord(const TestRecord&) = delete;
    TestRecord& operator=(const TestRecord&) = delete;

    bool Ready() const { return ready_ && !request.empty(); }

    // The answer given to the record, checked against the issuer (a PKI file).
    int Decode(const Bytes& answer, bool byExtensions, const std::string& issuer = "ca.cert.der")
    {
        const Bytes der = testsupport::ReadFile(testsupport::Pki(issuer));
        ByteBuffer response = {nullptr, 0};
        if (_SetOCSPResponse(const_cast<unsigned char*>(answer.data()), static_cast<std::uint32_t>(answer.size()),
                             &response) != 0)
            return -1;
        return byExtensions ? _DecodeOCSPResponsev2(&response, &record, der.data(), static_cast<std::uint32_t>(der.size()))
                            : _DecodeOCSPResponse(&response, &record, der.data(), static_cast<std::uint32_t>(der.size()));
    }

    std::int32_t Status()
    {
        std::int32_t status = -1;
        _GetOCSPStatus(&record, &status);
        return status;
    }

    // Appends an item to a slot of the request set, as a caller that keeps
    // responder lists does.
    bool AddRequestItem(std::uint32_t slot, const Bytes& item)
    {
        return AddDataItem(record.requestSets, slot, item.data(), item.size()) == kDataSetsOk;
    }

    OCSPData record = {};
    Bytes request;

private:
    bool ready_ = false;
};

// openssl ocsp's answer to the request, signed by the responder (see
// testsupport::ocsp::OpensslResponse). Empty on failure.
inline Bytes OpensslAnswer(const Bytes& request, const std::string& responder, const std::string& extra,
                           const std::string& name)
{
    const std::string file = testsupport::ocsp::Work(name + ".req.der");
    if (request.empty() || !testsupport::WriteFile(file, request.data(), request.size())) return {};
    return testsupport::ocsp::OpensslResponse(file, responder, extra, name);
}

// The SHA-1 of a file, by openssl.
inline Bytes OpensslSha1(const std::string& path)
{
    const std::string out = testsupport::ocsp::Work("sha1.bin");
    std::remove(out.c_str());
    if (testsupport::openssl_cli::Run("dgst -sha1 -binary -out " + out + " " + path) != 0) return {};
    return testsupport::ReadFile(out);
}

// Where an answer's parts stand: the signed ResponseData, the signature
// bits, and the GeneralizedTime texts in their order (producedAt, then for
// a good record thisUpdate and nextUpdate).
struct AnswerParts {
    std::size_t tbs = 0, tbsLength = 0;
    std::size_t signature = 0, signatureLength = 0;
    std::vector<std::size_t> times;
};

namespace detail {
inline void CollectTimes(const Bytes& answer, const ByteBuffer& content, std::vector<std::size_t>& times)
{
    DERCursor cursor = der_reader::Inside(content);
    der_reader::Element element;
    while (der_reader::ReadAny(&cursor, &element)) {
        const unsigned char identifier = element.whole.pointer[0];
        if (identifier == 0x18 && element.content.length == 15)
            times.push_back(static_cast<std::size_t>(element.content.pointer - answer.data()));
        else if (identifier & 0x20)
            CollectTimes(answer, element.content, times);
    }
}
}  // namespace detail

inline bool LocateParts(const Bytes& answer, AnswerParts* parts)
{
    using namespace der_reader;
    DERCursor message = Reader(answer.data(), answer.size()), outer, bytes, basic;
    ByteBuffer status, tagged, type, octets, tbs, tbsWhole, algorithm, bits;
    if (!Enter(&message, kTagSequence, &outer) || !ReadView(&outer, 10, &status) ||
        !ReadExpected(&outer, kTagContextConstructed, &tagged))
        return false;
    DERCursor inside = Inside(tagged);
    if (!Enter(&inside, kTagSequence, &bytes) || !ReadView(&bytes, kTagObjectId, &type) ||
        !ReadView(&bytes, kTagOctetString, &octets))
        return false;
    DERCursor octetReader = Inside(octets);
    if (!Enter(&octetReader, kTagSequence, &basic) || !ReadExpected(&basic, kTagSequence, &tbs, &tbsWhole) ||
        !ReadExpected(&basic, kTagSequence, &algorithm) || !ReadView(&basic, kTagBitString, &bits) ||
        bits.length < 2)
        return false;
    parts->tbs = static_cast<std::size_t>(tbsWhole.pointer - answer.data());
    parts->tbsLength = tbsWhole.length;
    parts->signature = static_cast<std::size_t>(bits.pointer + 1 - answer.data());
    parts->signatureLength = bits.length - 1;
    parts->times.clear();
    detail::CollectTimes(answer, tbs, parts->times);
    return true;
}

// The current UTC time moved by seconds, as a 15-character time text.
inline std::string UtcTime(long seconds)
{
    const std::time_t when = std::time(nullptr) + seconds;
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%SZ", std::gmtime(&when));
    return text;
}

// Rewrites time number `index` of the answer (see AnswerParts).
inline bool SetTime(Bytes& answer, std::size_t index, const std::string& text)
{
    AnswerParts parts;
    if (text.size() != 15 || !LocateParts(answer, &parts) || index >= parts.times.size()) return false;
    std::memcpy(answer.data() + parts.times[index], text.data(), text.size());
    return true;
}

// Signs the answer's ResponseData again with the key (a PEM file), by
// openssl, as the responder would have signed what it now holds.
inline bool SignAgain(Bytes& answer, const std::string& key, const std::string& name)
{
    AnswerParts parts;
    if (!LocateParts(answer, &parts)) return false;
    const std::string tbs = testsupport::ocsp::Work(name + ".tbs"), signature = testsupport::ocsp::Work(name + ".sig");
    std::remove(signature.c_str());
    if (!testsupport::WriteFile(tbs, answer.data() + parts.tbs, parts.tbsLength) ||
        testsupport::openssl_cli::Run("dgst -sha1 -sign " + key + " -out " + signature + " " + tbs) != 0)
        return false;
    const Bytes made = testsupport::ReadFile(signature);
    if (made.size() != parts.signatureLength) return false;
    std::memcpy(answer.data() + parts.signature, made.data(), made.size());
    return true;
}

// Flips the last bit of the first occurrence of the bytes in the answer.
inline bool FlipWithin(Bytes& answer, const unsigned char* bytes, std::size_t length)
{
    for (std::size_t at = 0; length && at + length <= answer.size(); ++at)
        if (std::memcmp(answer.data() + at, bytes, length) == 0) {
            answer[at + length - 1] ^= 1;
            return true;
        }
    return false;
}

}  // namespace dunmere_test
