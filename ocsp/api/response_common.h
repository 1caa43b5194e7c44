// What decoding a response shares between the record's decode and the
// stored-response exports: the parse's outputs and the responder checks.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"
#include "ocsp/Dunmere.h"

// One parse's private status set and the copies it hands out, released on
// every path.
struct TParsedResponse {
    DataSets statusSets;
    bool ready;
    int responderIdKind = 0;
    ByteBuffer byName = {nullptr, 0};
    ByteBuffer byKey = {nullptr, 0};
    int signatureAlgorithm = 0;
    int hashAlgorithm = 0;
    int rawStatus = -1;
    ByteBuffer producedAt = {nullptr, 0};
    ByteBuffer nonce = {nullptr, 0};

    TParsedResponse();
    ~TParsedResponse();
    TParsedResponse(const TParsedResponse&) = delete;
    TParsedResponse& operator=(const TParsedResponse&) = delete;
    // Deletes the status set now: false when that fails.
    bool Release();
};

// A time copy as text (its bytes up to the first NUL).
std::string TimeText(const ByteBuffer& time);

// SHA-1 of the bytes; false for none.
bool Sha1Digest(const unsigned char* data, std::size_t length, unsigned char (&digest)[20]);

// md2, md4, md5 or sha1 with RSA.
bool IsKnownSignatureAlgorithm(int algorithm);

// The responder certificate (the one the responderID names) issued by the
// issuer and valid now, by the record's library; with none chosen the check
// is skipped unless required. 0 or the error bit.
std::uint32_t CheckResponderIssuedBy(const OCSPData* record, const unsigned char* issuer, std::uint32_t issuerLength,
                                     const char* now, bool required);
// The same check by the library's own code.
std::uint32_t ResponderIssuedByOwnCheck(const DataSets* requestSets, const unsigned char* issuer,
                                        std::uint32_t issuerLength, const char* now);
