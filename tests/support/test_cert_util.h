// Small helpers of the key and certificate tests: a DER builder for crafted
// inputs, PKI file access and RAII holders of decoded fields.
#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "core/x509/certificate.h"
#include "core/der/der.h"
#include "core/text/text.h"
#include "tests/support/test_util.h"

namespace testsupport::cert {

using Bytes = std::vector<unsigned char>;

// Identifier byte and definite length in front of the content.
inline Bytes Tlv(unsigned char identifier, const Bytes& content)
{
    Bytes out{identifier};
    std::size_t n = content.size();
    if (n < 0x80) {
        out.push_back(static_cast<unsigned char>(n));
    } else {
        Bytes length;
        for (std::size_t v = n; v; v >>= 8) length.insert(length.begin(), static_cast<unsigned char>(v));
        out.push_back(static_cast<unsigned char>(0x80 | length.size()));
        out.insert(out.end(), length.begin(), length.end());
    }
    out.insert(out.end(), content.begin(), content.end());
    return out;
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes Seq(std::initializer_list<Bytes> parts) { return Tlv(0x30, Cat(parts)); }
inline Bytes Set(std::initializer_list<Bytes> parts) { return Tlv(0x31, Cat(parts)); }
inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes Hex(const std::string& hex) { return testsupport::FromHex(hex); }

inline Bytes ReadPki(const std::string& file) { return testsupport::ReadFile(Pki(file)); }

inline std::string SlotText(const ByteBuffer& b)
{
    return b.pointer ? std::string(reinterpret_cast<const char*>(b.pointer), b.length) : std::string();
}

// Everything one DecodeCertificate call hands out, released on destruction.
struct DecodedCertificate {
    CertificateFields f;
    int result = 0;

    DecodedCertificate() = default;
    DecodedCertificate(const Bytes& der, const RsaPublicKey* issuerKey) { Decode(der, issuerKey); }
    DecodedCertificate(const DecodedCertificate&) = delete;
    DecodedCertificate& operator=(const DecodedCertificate&) = delete;
    ~DecodedCertificate() { Release(); }

    int Decode(const Bytes& der, const RsaPublicKey* issuerKey)
    {
        Release();
        result = DecodeCertificate(der.data(), der.size(), &f.wrapperVersion, &f.serialNumber, nullptr, &f.issuer,
                                   f.notBefore, f.notAfter, &f.subject, &f.signatureAlgorithm, &f.publicKey,
                                   issuerKey, &f.signatureStatus, &f.extensions);
        return result;
    }

    void Release()
    {
        FreeItems(&f.serialNumber, 1);
        FreeItems(f.issuer.slots, kNameSlots);
        FreeItems(f.subject.slots, kNameSlots);
        FreeItems(f.extensions.slots, kExtensionSlots);
    }
};

}  // namespace testsupport::cert
