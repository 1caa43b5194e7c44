// The responder side of the protocol: reading a request and building a
// signed response. Nothing in the client calls it; the tests use it to make
// responses that no standard responder would.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"
#include "ocsp/protocol/ocsp_sets.h"

// Reads the request: each entry (SHA-1 CertIDs only) appends serial, name
// hash and key hash to slots 2-4; the nonce is handed out as a heap copy
// (FreeItems). A signed request appends its certificates to slot 13, the
// signed part to 11 and the signature to 12. 1 ok, 0 failure.
int ParseOCSPRequest(const unsigned char* der, std::size_t length, DataSets* requestSets, ByteBuffer* nonce,
                     int* isSigned, int* signatureAlgorithm);

// Results of BuildOCSPResponse.
enum : int {
    kBuildResponseOk = 1,
    kBuildResponseMemory = 2,
    kBuildResponseDataSets = 3,
    kBuildResponseSingle = 4,
    kBuildResponseData = 5,
    kBuildResponseDataNotWhole = 6,
    kBuildResponseBasic = 7,
    kBuildResponseMessage = 8,
    kBuildResponseCopy = 9,
    kBuildResponseSignature = 10,
};
// A response for the status records of slots 2-8 of statusSets with
// producedAt now, signed by the callback with signerSets' key and carrying
// its certificates (slot 14). Only digest type 6 with algorithm 111. For a
// responseStatus other than 0, the bare status.
int BuildOCSPResponse(unsigned char* output, std::size_t outputSize, std::size_t* outputLength,
                      const DataSets* signerSets, const DataSets* statusSets, int responseStatus,
                      const ByteBuffer& responderId, int responderIdKind, std::uint32_t digestType,
                      int signatureAlgorithm, int keyArgument, SignCallback callback, const ByteBuffer& nonce);
