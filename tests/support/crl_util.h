// Runs the streamed CRL verifier and reader over a CRL file and keeps what
// they hand out, for the CRL tests.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "core/der/bytes.h"
#include "core/text/text.h"
#include "core/x509/crl_file.h"
#include "tests/support/test_util.h"

namespace testsupport::crl {

struct Entry {
    std::string serialHex;
    std::string date;
    std::string reason;  // ENUMERATED content bytes as hex
};

struct CRLContents {
    int verify = 0;           // VerifyCRLFile's code
    int signatureVerified = 0;
    int dates = 0;            // ReadCRLFileDates's code (0 when not reached)
    int last = 0;             // the last NextCRLFileEntry code
    std::string thisUpdate, nextUpdate, crlNumberHex, authoritySerialHex;
    std::vector<Entry> entries;

    bool Lists(const std::string& serialHex) const
    {
        for (const Entry& e : entries)
            if (e.serialHex == serialHex) return true;
        return false;
    }
};

// A scratch file name beside the test's other files.
inline std::string ScratchName(const std::string& tag)
{
    return WorkDir() + "/crl-scratch-" + tag + ".tmp";
}

inline CRLContents ReadCRL(const std::string& file, const RsaPublicKey* caKey, const std::string& tag = "t")
{
    CRLContents c;
    const std::string scratch = ScratchName(tag);
    NameTable issuer, authorityIssuer;
    unsigned char serialBuffer[kCRLNumberSize], numberBuffer[kCRLNumberSize];
    ByteBuffer authoritySerial = {serialBuffer, 0}, crlNumber = {numberBuffer, 0};
    c.verify = VerifyCRLFile(file.c_str(), scratch.c_str(), &issuer, &authorityIssuer, &authoritySerial, &crlNumber,
                             caKey, &c.signatureVerified);
    FreeItems(issuer.slots, kNameSlots);
    FreeItems(authorityIssuer.slots, kNameSlots);
    if (c.verify != kCRLSuccess) {
        std::remove(scratch.c_str());
        return c;
    }
    c.crlNumberHex = ToHex(crlNumber.pointer, crlNumber.length);
    c.authoritySerialHex = ToHex(authoritySerial.pointer, authoritySerial.length);
    CRLFileReader reader;
    if (OpenCRLFile(&reader, scratch.c_str()) == kCRLSuccess) {
        char thisUpdate[kCRLDateSize], nextUpdate[kCRLDateSize];
        c.dates = ReadCRLFileDates(&reader, thisUpdate, nextUpdate);
        if (c.dates == kCRLSuccess) {
            c.thisUpdate = thisUpdate;
            c.nextUpdate = nextUpdate;
            unsigned char serial[kCRLSerialSize];
            char date[kCRLDateSize];
            unsigned char reason[kCRLReasonSize];
            ByteBuffer view = {serial, 0};
            while ((c.last = NextCRLFileEntry(&reader, &view, date, reason)) == kCRLSuccess) {
                std::string reasonText(reinterpret_cast<const char*>(reason));
                c.entries.push_back(Entry{ToHex(view.pointer, view.length), date,
                                          ToHex(reason, reasonText.size())});
            }
        }
        CloseCRLFile(&reader);
    }
    std::remove(scratch.c_str());
    return c;
}

}  // namespace testsupport::crl
