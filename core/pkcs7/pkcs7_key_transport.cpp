#include "core/pkcs7/pkcs7_key_transport.h"

#include "core/der/der.h"
#include "core/der/der_builder.h"
#include "core/der/oid.h"
#include "core/rsa/random.h"
#include "core/rsa/rsa.h"
#include "core/toolkit/wipe.h"
#include "core/x509/certificate.h"
#include "core/x509/certificate_parts.h"

namespace {

// DES keys carry odd parity in the low bit of each byte.
void SetOddParity(unsigned char* key, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i) {
        unsigned bits = key[i];
        bits ^= bits >> 4;
        bits ^= bits >> 2;
        bits ^= bits >> 1;
        if (!(bits & 1)) key[i] ^= 1;
    }
}

bool GenerateKeyAndIV(unsigned char* keyAndIv, std::size_t keyLength)
{
    const std::size_t total = keyLength + kPkcs7IvSize;
    if (GenerateRandomBytes(keyAndIv, total, GetSharedRandom()) != 0) {
        FillBytes(keyAndIv, 0, total);
        return false;
    }
    SetOddParity(keyAndIv, keyLength);
    return true;
}

}  // namespace

bool GenerateDesKeyAndIV(unsigned char keyAndIv[kPkcs7DesKeySize + kPkcs7IvSize])
{
    return GenerateKeyAndIV(keyAndIv, kPkcs7DesKeySize);
}

bool GenerateTripleDesKeyAndIV(unsigned char keyAndIv[kPkcs7TripleDesKeySize + kPkcs7IvSize])
{
    return GenerateKeyAndIV(keyAndIv, kPkcs7TripleDesKeySize);
}

std::size_t EncodeRecipientInfo(const unsigned char* certificate, std::size_t certificateLength,
                                const unsigned char* key, std::size_t keyLength, DERCursor* cursor)
{
    ByteBuffer issuer, serial;
    RsaPublicKey publicKey;
    if (!key || keyLength == 0 ||
        !ReadCertificateIssuerAndSerial(certificate, certificateLength, &issuer, &serial) ||
        !DecodeCertificateKey(certificate, certificateLength, &publicKey, nullptr, nullptr))
        return 0;
    unsigned char wrapped[kRsaMaxModulusBytes];
    std::size_t wrappedLength = 0;
    if (EncryptRsaPublic(wrapped, &wrappedLength, key, keyLength, &publicKey, GetSharedRandom()) != 0) return 0;

    // The builder writes in front of what the cursor holds already.
    DERBuilder builder;
    InitDERBuilder(&builder, cursor->buffer, cursor->position);
    BuildDERPrimitive(&builder, kTagOctetString, ByteBuffer{wrapped, wrappedLength});
    BuildDER(&builder, [](DERCursor* c) { return EncodeAlgorithmId(c, kAlgRsaEncryption); });
    const std::uint64_t identifier = DERBuilderMark(&builder);
    BuildDERPrimitive(&builder, kTagInteger, serial);
    BuildDERBytes(&builder, issuer);
    CloseDER(&builder, kTagSequence, identifier);
    BuildDERSmallInteger(&builder, 0);
    CloseDER(&builder, kTagSequence, 0);
    if (builder.status != kDERBuildOk) return 0;
    const std::size_t written = cursor->position - builder.cursor.position;
    cursor->position = builder.cursor.position;
    return written;
}
