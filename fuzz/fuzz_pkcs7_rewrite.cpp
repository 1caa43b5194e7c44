// What the PKCS#7 encoder reads from records it is given: a certificate's
// issuer and serial number, and a carried SignerInfo rewritten with another
// encryptedDigest. Views stay inside the input; a rewritten record reads
// back with the new digest and every other field unchanged.
#include <cstdint>
#include <cstdlib>

#include "core/pkcs7/pkcs7_fields.h"
#include "core/pkcs7/pkcs7_engine_params.h"
#include "core/pkcs7/pkcs7_signer_info_crypt.h"
#include "core/x509/certificate_parts.h"

namespace {

void Inside(const ByteBuffer& view, const uint8_t* data, size_t size)
{
    if (view.length == 0) return;
    if (view.pointer < data || view.length > size || view.pointer > data + size - view.length) std::abort();
}

bool Same(const ByteBuffer& a, const ByteBuffer& b)
{
    return a.length == b.length && (a.length == 0 || CompareBytes(a.pointer, b.pointer, a.length) == 0);
}

unsigned char gBuffer[kPkcs7RecordBufferSize];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ByteBuffer issuer, serial;
    if (ReadCertificateIssuerAndSerial(data, size, &issuer, &serial)) {
        Inside(issuer, data, size);
        Inside(serial, data, size);
        if (serial.length == 0) std::abort();
    }

    const ByteBuffer input{const_cast<uint8_t*>(data), size};
    unsigned char digest[24];
    for (size_t i = 0; i < sizeof digest; ++i) digest[i] = static_cast<unsigned char>(0xA0 + i);
    ByteBuffer rewritten;
    if (ReplaceSignerInfoDigest(input, ByteBuffer{digest, sizeof digest}, gBuffer, sizeof gBuffer, &rewritten)) {
        Pkcs7SignerInfo before, after;
        if (!ReadPkcs7SignerInfo(input, &before) || !ReadPkcs7SignerInfo(rewritten, &after)) std::abort();
        if (!Same(after.signatureValue, ByteBuffer{digest, sizeof digest}) ||
            !Same(after.signer.issuer, before.signer.issuer) || !Same(after.signer.serial, before.signer.serial) ||
            !Same(after.signedAttributes, before.signedAttributes) || after.version != before.version)
            std::abort();
    }
    return 0;
}
