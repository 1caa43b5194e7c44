// Streamed PKCS#7 messages over the platform's hash, signature and key
// services: the message is written as the content is fed, in blocks of any
// size, so no file is held whole in memory. Every length is definite and
// known before the first byte leaves.
//
// Failures answer false with the thread's last error set, so a caller can
// report GetLastErrorText() at once.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/der/der_builder.h"
#include "core/hash/digest.h"
#include "platform/capi_handles.h"

// Receives the encoded message piece by piece, in order; `final` marks the
// last piece. Answering false ends the encoding (a short write); the last
// error it leaves is kept, ERROR_WRITE_FAULT when it leaves none.
using CmsOutputFunction = bool (*)(void* argument, const unsigned char* data, std::size_t length,
                                   bool final);

struct CmsOutput {
    CmsOutputFunction function = nullptr;
    void* argument = nullptr;
};

// Content lengths are 32-bit counts, and so is every length of the message.
enum : std::uint64_t { kCmsMaxEncodedLength = kDERMaxEncodedLength };

// Signed data: one signer with SHA-1 over the content and no authenticated
// attributes, the signer's certificate as its context holds it, content
// type data; the content inside (attached) or not (detached).
struct CmsSigner {
    PCCERT_CONTEXT certificate = nullptr;
    HCRYPTPROV provider = 0;  // holds the certificate's private key
    DWORD keySpec = 0;
};

// Length of the signed-data message for this content length, as the
// encoder will write it. False for a signer without a usable key, or a
// message beyond kCmsMaxEncodedLength (ERROR_FILE_TOO_LARGE).
bool CmsSignedEncodedLength(const CmsSigner& signer, bool detached, std::uint64_t contentLength,
                            std::uint64_t* encodedLength);

class TCmsSignEncoder {
public:
    TCmsSignEncoder() = default;
    TCmsSignEncoder(const TCmsSignEncoder&) = delete;
    TCmsSignEncoder& operator=(const TCmsSignEncoder&) = delete;
    ~TCmsSignEncoder();

    // The content must then come to exactly contentLength bytes. Nothing is
    // written yet.
    bool Open(const CmsSigner& signer, bool detached, std::uint64_t contentLength, CmsOutput output);
    // The message length, known from Open on.
    std::uint64_t EncodedLength() const { return encodedLength_; }
    // Feeds the next block; `last` on the final one (which may be empty).
    // The message's head leaves with the first update, the content (when
    // attached) with each, the signer information with the last.
    bool Update(const unsigned char* data, std::size_t length, bool last);

private:
    bool Emit(const unsigned char* data, std::size_t length, bool final);

    CmsSigner signer_;
    bool detached_ = false;
    std::uint64_t contentLength_ = 0;
    std::uint64_t fed_ = 0;
    std::uint64_t encodedLength_ = 0;
    std::size_t signatureLength_ = 0;
    std::vector<unsigned char> head_;  // everything in front of the content
    CmsOutput output_;
    ShaState digest_ = {};  // the content's SHA-1, made here for its speed
    TCryptHash hash_;       // signs the digest
    bool open_ = false;
    bool started_ = false;
    bool failed_ = false;
};

// Enveloped data: the content encrypted with a fresh 128-bit RC4 key, the
// key wrapped with RSA PKCS#1 v1.5 (rsaEncryption) to one recipient, who is
// named by the issuer and serial number of its certificate; content type
// data. The recipient certificate is used as it is (no checks).
class TCmsEnvelopeEncoder {
public:
    TCmsEnvelopeEncoder() = default;
    TCmsEnvelopeEncoder(const TCmsEnvelopeEncoder&) = delete;
    TCmsEnvelopeEncoder& operator=(const TCmsEnvelopeEncoder&) = delete;
    ~TCmsEnvelopeEncoder();

    // Makes and wraps the content key on the provider (any RSA provider with
    // 128-bit RC4); the content must then come to exactly contentLength bytes.
    bool Open(PCCERT_CONTEXT recipient, HCRYPTPROV provider, std::uint64_t contentLength,
              CmsOutput output);
    std::uint64_t EncodedLength() const { return head_.size() + contentLength_; }
    bool Update(const unsigned char* data, std::size_t length, bool last);

private:
    bool Emit(const unsigned char* data, std::size_t length, bool final);

    std::uint64_t contentLength_ = 0;
    std::uint64_t fed_ = 0;
    CmsOutput output_;
    TCryptKey contentKey_;
    std::vector<unsigned char> head_;  // everything in front of the ciphertext
    std::vector<unsigned char> block_;
    bool open_ = false;
    bool started_ = false;
    bool failed_ = false;
};
