// The whole OCSP query in one call, for callers that keep the targets and
// their issuers' certificates in the request set (slots 9 and 10): build,
// post, receive and check, with CryptoAPI and without a nonce. No export
// calls it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"

// Results: 1 done (the response's own status in responseStatus); otherwise
// the first failure: 21 counting the targets, 2 reading a target, 0 an
// issuer or the signature algorithm, 3 building the request, 10 memory, 4
// connecting (or a URL that does not parse), 5 sending, 6 receiving, 11 the
// status line, 12 the content type, 7 the status set, 8 parsing, 9
// producedAt, 13 the responder ID, 14 the responder's purpose, 30 or 31 (or
// 15) the responder's issuer, 16 the status match, 18 the algorithm, 17 the
// signature, 19 deleting the status set.
int ExecuteOCSPExchange(DataSets* requestSets, const DataSets* userSets, int sign, const ByteBuffer& requestorName,
                        int signatureAlgorithm, std::uint32_t digestType, const char* path, const char* host,
                        unsigned port, const char* producedAtTolerance, const char* statusTolerance,
                        const unsigned char* issuer, std::size_t issuerLength, int* responseStatus);
