// Streamed PKCS#7 decoding over the platform's hash, signature and key
// services, in place of the platform's streamed message decoder: the
// message is taken in blocks of any size, split anywhere, and the content
// leaves through the output as it passes, so no file is held whole in
// memory. Definite lengths and BER indefinite lengths (constructed strings
// of chunks) are both read. Signed data and enveloped data.
//
// Failures answer false with the thread's last error set, so a caller can
// report GetLastErrorText() at once. After a failed update the decoder
// takes nothing more.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/capi_handles.h"
#include "signer/cms/cms_stream.h"

// Message types, numbered as the platform's message functions number them.
enum : DWORD {
    kCmsSignedData = 2,     // CMSG_SIGNED
    kCmsEnvelopedData = 3,  // CMSG_ENVELOPED
};

class TCmsDecoder {
public:
    TCmsDecoder();
    ~TCmsDecoder();
    TCmsDecoder(const TCmsDecoder&) = delete;
    TCmsDecoder& operator=(const TCmsDecoder&) = delete;

    // Starts a message, forgetting any earlier one. Attached signed data
    // hands its content to `output` as the updates pass it; enveloped data
    // hands over the decrypted content from Decrypt on. Detached: the
    // updates up to the first `last` carry the signature message, the
    // updates after it (up to the next `last`) the content, which is only
    // hashed. The output may have no function. `provider` (may be 0) hashes
    // what it can; the decoder takes a verify context of its own for the rest.
    // The providers given here and to Decrypt must outlive the decoder's use.
    bool Open(bool detached, CmsOutput output, HCRYPTPROV provider = 0);
    // The next block; `last` on the final block of the message (and, when
    // detached, of the content). The block may be empty.
    bool Update(const unsigned char* data, std::size_t length, bool last);

    // What the message says, each known once its part has been fed;
    // CRYPT_E_STREAM_MSG_NOT_READY before.
    bool GetMessageType(DWORD* type) const;
    // The inner content type as dotted text ("1.2.840.113549.1.7.1").
    bool GetInnerContentType(std::string& oid) const;
    // Signer 0 and recipient 0 as a CERT_INFO holding only Issuer and
    // SerialNumber (least significant byte first), as the certificate
    // lookup and comparison functions take them. The blobs live in the
    // decoder until the next Open.
    bool GetSignerCertInfo(const CERT_INFO** info) const;
    bool GetRecipientInfo(const CERT_INFO** info) const;

    // The certificates the signed data carries, each as its DER.
    const std::vector<std::vector<unsigned char>>& Certificates() const;
    // A new in-memory store holding those certificates.
    bool OpenCertificateStore(TCertStore& store) const;

    // Checks signer 0's signature with the certificate's public key, once
    // the message (and a detached content) has been fed in full. Without
    // authenticated attributes the signature covers the content digest;
    // with them they must name the inner content type and the content's
    // digest, and the signature covers them.
    bool VerifySignature(const CERT_INFO* certificate);

    // Unwraps recipient 0's content key with the provider's key of that key
    // spec and decrypts the content to the output: what has
    // passed at once, the rest as it comes. Ciphertext that passed before
    // the call waited in a temporary file. Possible once recipient 0 and the
    // content algorithm have been fed; a failed unwrap may be retried.
    bool Decrypt(HCRYPTPROV provider, DWORD keySpec);

private:
    struct State;
    std::unique_ptr<State> state_;
};
