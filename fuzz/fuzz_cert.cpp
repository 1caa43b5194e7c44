// Certificate decoder: any input decodes or is refused without leaving
// anything allocated; what a decode hands out is well formed, its extension
// slots decode or are refused, and a certificate checked with its own key
// decodes to the same fields.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/x509/certificate.h"
#include "core/x509/extension.h"
#include "core/text/text.h"

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

void CheckItem(const ByteBuffer& item)
{
    Check((item.pointer == nullptr) == (item.length == 0));
    if (item.pointer) Check(item.pointer[item.length] == 0);
}

struct Fields {
    CertificateFields f;
    int result = 0;
    int Decode(const uint8_t* data, size_t size, const RsaPublicKey* key)
    {
        return result = DecodeCertificate(data, size, &f.wrapperVersion, &f.serialNumber, nullptr, &f.issuer,
                                          f.notBefore, f.notAfter, &f.subject, &f.signatureAlgorithm, &f.publicKey,
                                          key, &f.signatureStatus, &f.extensions);
    }
    ~Fields()
    {
        FreeItems(&f.serialNumber, 1);
        FreeItems(f.issuer.slots, kNameSlots);
        FreeItems(f.subject.slots, kNameSlots);
        FreeItems(f.extensions.slots, kExtensionSlots);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fields plain;
    if (plain.Decode(data, size, nullptr) == 0) {
        Check(plain.f.serialNumber.pointer == nullptr);
        for (const ByteBuffer& b : plain.f.issuer.slots) Check(b.pointer == nullptr);
        for (const ByteBuffer& b : plain.f.extensions.slots) Check(b.pointer == nullptr);
        return 0;
    }
    Check(plain.f.signatureStatus == kSignatureUnchecked);
    Check(plain.f.serialNumber.pointer != nullptr);
    CheckItem(plain.f.serialNumber);
    for (const ByteBuffer& b : plain.f.issuer.slots) CheckItem(b);
    for (const ByteBuffer& b : plain.f.subject.slots) CheckItem(b);
    for (const ByteBuffer& b : plain.f.extensions.slots) CheckItem(b);
    Check(std::strlen(plain.f.notBefore) < kValidityTextSize && std::strlen(plain.f.notAfter) < kValidityTextSize);
    Check(plain.f.publicKey.bits <= 2048);

    for (int kind = 0; kind < static_cast<int>(kExtensionSlots); ++kind) {
        if (!plain.f.extensions.slots[kind].pointer) continue;
        ExtensionValues values;
        std::uint16_t flags = 0;
        std::uint32_t critical = 0;
        int status = DecodeExtensionValue(plain.f.extensions.slots[kind], kind, &flags, &values, &critical);
        Check(status == kExtensionValueDecoded || status == 0 || status == -1 || status == -2 || status == -3);
        for (const ByteBuffer& b : values.slots) {
            CheckItem(b);
            Check(status == kExtensionValueDecoded || b.pointer == nullptr);
        }
        FreeItems(values.slots, kExtensionValueSlots);
    }

    // Checked with its own key: the same fields, a status of +1 or -1.
    Fields checked;
    RsaPublicKey key = plain.f.publicKey;
    Check(checked.Decode(data, size, &key) == 1);
    Check(checked.f.signatureStatus == kSignatureValid || checked.f.signatureStatus == kSignatureInvalid);
    Check(checked.f.serialNumber.length == plain.f.serialNumber.length &&
          std::memcmp(checked.f.serialNumber.pointer, plain.f.serialNumber.pointer, plain.f.serialNumber.length) == 0);
    Check(std::strcmp(checked.f.notAfter, plain.f.notAfter) == 0);
    return 0;
}
