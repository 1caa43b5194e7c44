// Signed public keys with a challenge (SPKAC, the form browsers' key
// generators sent to certification authorities).
#pragma once
#include <cstddef>

#include "core/der/bytes.h"
#include "core/rsa/rsa_key.h"

struct DERCursor;

// PublicKeyAndChallenge ::= SEQUENCE { SubjectPublicKeyInfo, challenge
// IA5String }. start receives the structure's first byte; the challenge, a
// view into the DER, goes to challenge when given. Bytes consumed; 0 on
// failure, with the cursor where it was and the key zeroed.
std::size_t DecodePublicKeyAndChallenge(DERCursor* cursor, int* keyAlgorithm, RsaPublicKey* publicKey,
                                        const unsigned char** start, ByteBuffer* challenge = nullptr);

// SEQUENCE { PublicKeyAndChallenge, AlgorithmIdentifier, BIT STRING
// signature }. start receives the PublicKeyAndChallenge's first byte,
// algorithm the signature's code; valid is 1 when the signature over the
// PublicKeyAndChallenge verifies with the key it carries, else 0. The
// cursor stays usable. Bytes consumed, 0 on failure (valid 0).
std::size_t DecodeSignedPublicKeyAndChallenge(DERCursor* cursor, const unsigned char** start, int* algorithm,
                                              RsaPublicKey* publicKey, int* valid);
