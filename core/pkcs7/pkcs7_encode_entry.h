// Entry points of the PKCS#7 engine that make messages: a fresh or continued
// encoding over the slots, signing with the own credentials, and encoding
// from DER buffers. Each answers a Pkcs7Result (SignStreamWithCredentials
// 1 or 0).
#pragma once
#include <cstddef>

#include "core/datasets/datasets.h"
#include "core/io/stream.h"
#include "core/pkcs7/pkcs7_encoder.h"
#include "core/pkcs7/pkcs7_engine_params.h"

struct DERCursor;

// The operation a continued encoding performs after previousOperation, the
// outer type of the opened message: the same one, or signed-and-enveloped
// when signing meets enveloping; 0 when none.
int ContinuedOperation(int previousOperation, int operation);

// Without continueMessage slots 0, 1 (kept with kPkcs7FlagNoContent), 2 and 3
// are cleared first; with it the records of an opened message stay and the
// operation is ContinuedOperation (BadStructure when none). Slots 0-8 are
// cleared when the call ends, so signer and recipient parameters serve one
// call. cursor is not used.
Pkcs7Result EncodePKCS7Message(int operation, DataStream* message, DataStream* content, bool continueMessage,
                               bool wrap, int innerType, int previousOperation, unsigned flags, DataSets* sets,
                               DERCursor* cursor, int contentCipher);

// The own credentials (slots 14, 12, 13) as signer 1 of a fresh, wrapped
// encoding of data.
Pkcs7Result SignPKCS7WithOwnCredentials(int operation, DataStream* message, DataStream* content, DataSets* sets,
                                        int contentCipher);
// A signedData under the own credentials: 1 when it was made, else 0.
int SignStreamWithCredentials(DataStream* content, DataStream* message, DataSets* sets);

// A DER buffer with its length: the element is its leading SEQUENCE, which
// must fit in the length given.
struct Pkcs7DerInput {
    const unsigned char* data;
    std::size_t length;
};

// Adds the element (its leading SEQUENCE) to the slot; false when there is
// none within the length or it cannot be stored.
bool AddDerSequence(DataSets* sets, std::uint32_t slot, const Pkcs7DerInput& input);

// The own credentials (slots 14, 12, 13) become signer 1 (slots 4-6, emptied
// first); false when one is missing.
bool CopyOwnCredentialsToSigner(DataSets* sets);

// Encodes data with a signer (certificate, EncryptedPrivateKeyInfo and its
// password) and, for operations 2 and 3, a recipient certificate, under
// triple DES. The record's slots are emptied first. CertificateUnusable,
// KeyUnusable or CAUnusable for a signer certificate, key or recipient
// certificate that is not a SEQUENCE within its length. The signer may be
// left out ({nullptr, 0}) when only enveloping.
Pkcs7Result EncodePKCS7FromBuffers(DataStream* content, DataStream* message, Pkcs7DerInput signerCertificate,
                                   Pkcs7DerInput signerKey, const char* password,
                                   Pkcs7DerInput recipientCertificate, int operation, DataSets* sets);
// The same with flags: signing passes them all and, with kPkcs7FlagNoContent,
// keeps the record's slots (its carried certificates stay); enveloping
// passes only kPkcs7FlagAttributes.
Pkcs7Result EncodePKCS7FromBuffersWithFlags(DataStream* content, DataStream* message,
                                            Pkcs7DerInput signerCertificate, Pkcs7DerInput signerKey,
                                            const char* password, Pkcs7DerInput recipientCertificate, int operation,
                                            DataSets* sets, unsigned flags);
