// One ReadCRLFile pass of a fuzz target, every output checked against its
// bound and the entries kept.
#pragma once
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/text/text.h"
#include "core/x509/crl_file.h"

namespace fuzzcrl {

struct Entry {
    std::string serial;  // without leading zero bytes
    std::string date;
    std::string reason;
};

struct OnePass {
    CRLFileFields fields;
    CRLFileOutputs& outputs = fields.outputs;
    std::vector<Entry> entries;
    int code = 0;

    OnePass(const char* file, const RsaPublicKey* key)
    {
        const CRLEntryVisitor visitor = {Visit, this};
        code = ReadCRLFile(file, key, &outputs, &visitor);
        if (fields.authoritySerial.length >= kCRLNumberSize || fields.crlNumber.length >= kCRLNumberSize ||
            fields.issuerName.length > kCRLIssuerSize || std::strlen(fields.thisUpdate) > kCRLMaxDateLength ||
            std::strlen(fields.nextUpdate) > kCRLMaxDateLength)
            std::abort();
    }
    static int Visit(void* context, const ByteBuffer& serial, const char* date, const unsigned char* reason)
    {
        if (serial.length >= kCRLSerialSize || std::strlen(date) > kCRLMaxDateLength ||
            std::strlen(reinterpret_cast<const char*>(reason)) >= kCRLReasonSize)
            std::abort();
        OnePass* pass = static_cast<OnePass*>(context);
        if (pass->entries.size() < 100000)
            pass->entries.push_back(Entry{std::string(reinterpret_cast<const char*>(serial.pointer), serial.length),
                                          date, reinterpret_cast<const char*>(reason)});
        return kCRLSuccess;
    }
};

}  // namespace fuzzcrl
