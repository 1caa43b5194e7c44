// Building the OCSP request: CertID hashes, the nonce, the optional
// signature by the requestor's stored key, and the DER OCSPRequest.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"
#include "ocsp/protocol/ocsp_sets.h"

// Appends SHA-1 of slot 0's and slot 1's items at positions 1..count to
// slots 3 and 4. Only digest type 6 (SHA-1). 1 done, 0 not.
int ComputeCertIDHashes(DataSets* requestSets, std::uint32_t digestType, std::uint32_t count);

// kOCSPNonceLength random bytes in a new block (released with FreeItems)
// from the core's generator seeded from system entropy. 1 done, 0 not.
int GenerateNonce(ByteBuffer* nonce);

// SignCallback over the requestor's password-encrypted key (user slots 12
// and 13, item 1); keyArgument must be 0.
int SignWithStoredKey(const unsigned char* data, std::size_t dataLength, unsigned char* signature,
                      std::size_t* signatureLength, const DataSets* userSets, int algorithm, int keyArgument);

// The DER OCSPRequest for the targets of the request set (their CertID
// hashes are computed here), with the nonce extension when useNonce is 1
// and, when sign is 1, the requestorName and the Signature made by the
// callback with the requestor certificates of user slot 14. output holds
// outputSize bytes. 1 done, 0 not.
int BuildOCSPRequest(int sign, int useNonce, const ByteBuffer& nonce, const ByteBuffer& requestorName,
                     std::uint32_t digestType, int signatureAlgorithm, const DataSets* userSets,
                     DataSets* requestSets, unsigned char* output, std::size_t outputSize,
                     std::size_t* outputLength, int keyArgument, SignCallback callback);
