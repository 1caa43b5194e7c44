// CRL reader. The input, as a file, is walked by VerifyCRLFile and its
// scratch file by the entry reader; or read directly as a scratch file; or
// walked by the one pass of ReadCRLFile. First byte: bit 2 the one pass,
// else bit 0 the reader only; bit 1 with a CA key.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/text/text.h"
#include "core/x509/crl_file.h"
#include "fuzz/crl_one_pass.h"

namespace {

std::string Name(const char* what)
{
    return "/tmp/fuzz_crl." + std::to_string(getpid()) + "." + what;
}

void ReadEntries(const char* scratch)
{
    CRLFileReader reader;
    if (OpenCRLFile(&reader, scratch) != kCRLSuccess) return;
    char thisUpdate[kCRLDateSize], nextUpdate[kCRLDateSize];
    ReadCRLFileDates(&reader, thisUpdate, nextUpdate);
    unsigned char serial[kCRLSerialSize];
    char date[kCRLDateSize];
    unsigned char reason[kCRLReasonSize];
    ByteBuffer view = {serial, 0};
    for (int i = 0; i < 100000; ++i) {
        if (NextCRLFileEntry(&reader, &view, date, reason) != kCRLSuccess) break;
        if (view.pointer != serial || view.length >= kCRLSerialSize) std::abort();
    }
    const unsigned char wanted[] = {0x10, 0x02};
    FindCRLFileEntry(&reader, wanted, sizeof wanted, date, reason);
    CloseCRLFile(&reader);
}

const RsaPublicKey* FakeKey()
{
    static RsaPublicKey key = [] {
        RsaPublicKey k;
        std::memset(&k, 0, sizeof k);
        k.bits = 1024;
        std::memset(k.modulus + sizeof k.modulus - 128, 0xC5, 128);
        k.publicExponent[sizeof k.publicExponent - 1] = 3;
        return k;
    }();
    return &key;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const unsigned char select = data[0];
    const std::string input = Name("crl"), scratch = Name("scratch");
    std::FILE* file = std::fopen(input.c_str(), "wb");
    if (!file) return 0;
    if (size > 1) std::fwrite(data + 1, 1, size - 1, file);
    std::fclose(file);

    if (select & 4) {
        fuzzcrl::OnePass pass(input.c_str(), (select & 2) ? FakeKey() : nullptr);
    } else if (select & 1) {
        ReadEntries(input.c_str());
    } else {
        NameTable issuer, authorityIssuer;
        unsigned char serialBuffer[kCRLNumberSize], numberBuffer[kCRLNumberSize];
        ByteBuffer authoritySerial = {serialBuffer, 0}, crlNumber = {numberBuffer, 0};
        int verified = 0;
        int code = VerifyCRLFile(input.c_str(), scratch.c_str(), &issuer, &authorityIssuer, &authoritySerial,
                                 &crlNumber, (select & 2) ? FakeKey() : nullptr, &verified);
        if (authoritySerial.length >= kCRLNumberSize || crlNumber.length >= kCRLNumberSize) std::abort();
        FreeItems(issuer.slots, kNameSlots);
        FreeItems(authorityIssuer.slots, kNameSlots);
        if (code == kCRLSuccess) ReadEntries(scratch.c_str());
        std::remove(scratch.c_str());
    }
    std::remove(input.c_str());
    return 0;
}
