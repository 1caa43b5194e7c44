// OCSP response reading: ParseOCSPResponse and the checks that read what it
// stored, the response decoders one by one, and the responder's request
// reader, all on the same input.
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "core/datasets/datasets.h"
#include "core/der/der_reader.h"
#include "core/text/text.h"
#include "ocsp/protocol/ocsp_response_codec.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "ocsp/protocol/responder.h"
#include "ocsp/protocol/response_checks.h"

namespace {

struct Sets {
    DataSets sets;
    Sets() { InitDataSets(&sets); }
    ~Sets() { DeleteDataSets(&sets); }
};

void ParseAndCheck(const std::uint8_t* data, std::size_t size)
{
    Sets request, status;
    int kind = 0, algorithm = 0, hashAlgorithm = 0, responseStatus = 0;
    ByteBuffer copies[4] = {};
    if (ParseOCSPResponse(data, size, &status.sets, &request.sets, &kind, &copies[0], &copies[1], &algorithm,
                          &hashAlgorithm, &responseStatus, &copies[2], &copies[3]) &&
        responseStatus == 0) {
        // Ask for what the first record answers, so the matching goes on
        // to its times.
        for (std::uint32_t slot : {kSlotTargetSerial, kSlotNameHash, kSlotKeyHash}) {
            const unsigned char* item = nullptr;
            std::size_t length = 0;
            if (GetDataItem(&status.sets, slot, 1, &item, &length) == 0) AddDataItem(&request.sets, slot, item, length);
        }
        int authorised = 0;
        CheckResponderID(kind, copies[0], copies[1], &request.sets, 6, &authorised);
        MatchStatusRecords(&request.sets, &status.sets, "000500", "20250101000000Z");
        MatchStatusRecords(&request.sets, &status.sets, nullptr, "20250101000000Z");
        VerifyResponseSignature(&request.sets, algorithm);
        int cA = 0, signing = 0, noCheck = 0, points = 0;
        ByteBuffer urls[kOCSPMaxCrlPoints] = {};
        ReadResponderExtensions(&request.sets, &cA, &signing, &noCheck, &points, urls);
        FreeItems(urls, kOCSPMaxCrlPoints);
        std::uint32_t certificateStatus = 0;
        StatusFromRecord(&request.sets, responseStatus, &certificateStatus);
    }
    FreeItems(copies, 4);
}

void Decoders(const std::uint8_t* data, std::size_t size)
{
    ByteBuffer a, b, c, d, e, f, g, certificates[kOCSPMaxCertificates];
    int x = 0, y = 0;
    std::size_t count = 0;
    DERCursor cursor = der_reader::Reader(data, size);
    DecodeOCSPResponseMessage(&cursor, &a, &x, &b);
    cursor = der_reader::Reader(data, size);
    DecodeBasicOCSPResponse(&cursor, &a, &x, &b, certificates, &count);
    cursor = der_reader::Reader(data, size);
    ByteBuffer copies[4] = {};
    DecodeResponseData(&cursor, &copies[0], &copies[1], &copies[2], &a, &x, &copies[3]);
    FreeItems(copies, 4);
    cursor = der_reader::Reader(data, size);
    while (DecodeSingleResponse(&cursor, &a, &b, &x, &c, &d, &y, &e, &f)) {
    }
    (void)g;
    Sets request;
    ByteBuffer nonce{nullptr, 0};
    if (ParseOCSPRequest(data, size, &request.sets, &nonce, &x, &y)) FreeItems(&nonce, 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ParseAndCheck(data, size);
    Decoders(data, size);
    return 0;
}
