// PKCS#7 field readers: any input to each of them; every view they give
// lies inside the input, and the signer's attributes read on.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/pkcs7/pkcs7_fields.h"

namespace {

const uint8_t* gData;
size_t gSize;

void Inside(const ByteBuffer& view)
{
    if (view.length == 0) return;
    if (view.pointer < gData || view.length > gSize || view.pointer > gData + gSize - view.length) std::abort();
}

void Inside(const Pkcs7Algorithm& algorithm)
{
    Inside(algorithm.oid);
    Inside(algorithm.parameters);
}

void Inside(const Pkcs7Identifier& identifier)
{
    Inside(identifier.keyId);
    Inside(identifier.issuer);
    Inside(identifier.serial);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    gData = data;
    gSize = size;
    const ByteBuffer input{const_cast<uint8_t*>(data), size};

    Pkcs7SignerInfo signer;
    if (ReadPkcs7SignerInfo(input, &signer)) {
        if (signer.signatureValue.length == 0 || signer.digest.oid.length == 0) std::abort();
        Inside(signer.signer);
        Inside(signer.digest);
        Inside(signer.signature);
        Inside(signer.signatureValue);
        Inside(signer.signedAttributes);
        if (signer.signedAttributes.length) {
            Pkcs7SignedAttributes attributes;
            if (ReadPkcs7SignedAttributes(signer.signedAttributes, &attributes) == Pkcs7AttributesResult::Ok) {
                Inside(attributes.contentType);
                Inside(attributes.messageDigest);
            }
        }
    }
    Pkcs7RecipientInfo recipient;
    if (ReadPkcs7RecipientInfo(input, &recipient) && recipient.keyTransport) {
        if (recipient.encryptedKey.length == 0) std::abort();
        Inside(recipient.recipient);
        Inside(recipient.keyAlgorithm);
        Inside(recipient.encryptedKey);
    }
    Pkcs7SignedAttributes attributes;
    if (ReadPkcs7SignedAttributes(input, &attributes) == Pkcs7AttributesResult::Ok) {
        Inside(attributes.contentType);
        Inside(attributes.messageDigest);
    }
    std::vector<Pkcs7Algorithm> algorithms;
    if (ReadPkcs7DigestAlgorithms(input, &algorithms))
        for (const Pkcs7Algorithm& algorithm : algorithms) Inside(algorithm);
    Pkcs7ContentCipher cipher;
    if (ReadPkcs7ContentCipher(input, &cipher)) {
        Inside(cipher.iv);
        if (cipher.iv.length != 0 && cipher.iv.length != 8) std::abort();
    }
    ByteBuffer oid;
    std::string text;
    if (ReadPkcs7ObjectId(input, &oid)) {
        Inside(oid);
        Pkcs7DottedOid(oid, &text);
    }
    static const int kVersions[] = {0, 1, 2, 3, 4, 5};
    int version = -1;
    if (ReadPkcs7Version(input, kVersions, 6, &version) && (version < 0 || version > 5)) std::abort();
    return 0;
}
