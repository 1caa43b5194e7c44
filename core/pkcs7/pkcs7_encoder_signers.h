// The signing half of the PKCS#7 encoder: signed attributes, signatures of
// each signer in slots 4-6, and the SignerInfos that carry them.
#pragma once
#include <cstddef>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"
#include "core/pkcs7/pkcs7_content_encryptor.h"
#include "core/pkcs7/pkcs7_engine_params.h"

enum : std::size_t {
    kPkcs7SigningDigestType = 5,  // MD5
    kPkcs7AttributesSize = 1000,
};

// authenticatedAttributes [0] { contentType, signingTime (now), smimeCapabilities,
// messageDigest }, written at the end of buffer (kPkcs7AttributesSize bytes).
// False when they cannot be built.
bool BuildSignedAttributes(int innerType, const unsigned char* contentDigest, std::size_t digestLength,
                           unsigned char* buffer, ByteBuffer* attributes);

// Signs for each signer of slots 4-6 the content digest (or the digest of the
// attributes when given) and adds the signature to slot 8; a signed-and-
// enveloped message has each signature encrypted under its content key.
// KeyUnusable, CipherFailed or BadSlots.
Pkcs7Result MakeSignatures(DataSets* sets, const unsigned char* contentDigest, std::size_t digestLength,
                           const ByteBuffer& attributes, const Pkcs7ContentKey* envelopeKey);

// The new SignerInfos, signer 1 first, written at the end of buffer from the
// signatures of slot 8. CAUnusable for a signer certificate that does not
// name its issuer and serial number, BadSlots when they do not fit.
Pkcs7Result BuildSignerInfos(const DataSets* sets, const ByteBuffer& attributes, unsigned char* buffer,
                             std::size_t size, ByteBuffer* signerInfos);
