// Certificate decoding: DecodeCertificate beside d2i_X509 on the committed
// test certificate, with and without the signature check.
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench.h"
#include "core/x509/certificate.h"
#include "core/text/text.h"

namespace {

const std::vector<unsigned char>& Certificate()
{
    static std::vector<unsigned char> der = [] {
        std::string path = __FILE__;
        path = path.substr(0, path.find_last_of("/\\") + 1) + "../tests/data/cert/rich.der";
        std::vector<unsigned char> bytes;
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            unsigned char block[4096];
            std::size_t n;
            while ((n = std::fread(block, 1, sizeof block, f)) > 0) bytes.insert(bytes.end(), block, block + n);
            std::fclose(f);
        }
        if (bytes.empty()) std::fprintf(stderr, "bench_cert: cannot read %s\n", path.c_str());
        return bytes;
    }();
    return der;
}

std::uint32_t Core(bool verify)
{
    static RsaPublicKey key = [] {
        CertificateFields f;
        const std::vector<unsigned char>& der = Certificate();
        DecodeCertificate(der.data(), der.size(), &f.wrapperVersion, &f.serialNumber, nullptr, &f.issuer, f.notBefore,
                          f.notAfter, &f.subject, &f.signatureAlgorithm, &f.publicKey, nullptr, &f.signatureStatus,
                          &f.extensions);
        FreeItems(&f.serialNumber, 1);
        FreeItems(f.issuer.slots, kNameSlots);
        FreeItems(f.subject.slots, kNameSlots);
        FreeItems(f.extensions.slots, kExtensionSlots);
        return f.publicKey;  // self-signed: its own issuer key
    }();
    const std::vector<unsigned char>& der = Certificate();
    static CertificateFields f;
    int ok = DecodeCertificate(der.data(), der.size(), &f.wrapperVersion, &f.serialNumber, nullptr, &f.issuer,
                               f.notBefore, f.notAfter, &f.subject, &f.signatureAlgorithm, &f.publicKey,
                               verify ? &key : nullptr, &f.signatureStatus, &f.extensions);
    std::uint32_t print = ok ? BenchFingerprint(f.serialNumber.pointer, f.serialNumber.length) : 0;
    if (verify) print ^= f.signatureStatus == kSignatureValid ? 1u : 0u;
    FreeItems(&f.serialNumber, 1);
    FreeItems(f.issuer.slots, kNameSlots);
    FreeItems(f.subject.slots, kNameSlots);
    FreeItems(f.extensions.slots, kExtensionSlots);
    return print;
}

std::uint32_t Peer(bool verify)
{
    const std::vector<unsigned char>& der = Certificate();
    const unsigned char* p = der.data();
    X509* x = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    if (!x) return 0;
    const ASN1_INTEGER* serial = X509_get0_serialNumber(x);
    std::uint32_t print = BenchFingerprint(ASN1_STRING_get0_data(serial), ASN1_STRING_length(serial));
    if (verify) {
        EVP_PKEY* key = X509_get0_pubkey(x);
        print ^= key && X509_verify(x, key) == 1 ? 1u : 0u;
    }
    X509_free(x);
    return print;
}

BENCH_CASE({"certificate decode", 0, [] { return Core(false); }, [] { return Peer(false); }});
BENCH_CASE({"certificate decode+verify", 0, [] { return Core(true); }, [] { return Peer(true); }});

}  // namespace
