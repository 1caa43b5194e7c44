// PKCS#10 CertificationRequestInfo: the encoder (the caller signs the result
// and closes it with EncodeSignedStructure) and the decoder of requests made
// elsewhere.
#pragma once
#include <cstddef>

#include "core/der/bytes.h"
#include "core/rsa/rsa_key.h"
#include "core/x509/extension.h"
#include "core/x509/name.h"

struct DERCursor;

// SEQUENCE { version INTEGER, subject Name, SubjectPublicKeyInfo, [0]
// attributes }. Every attribute slot with a pointer is written, the
// challengePassword included; with none the [0] element is empty. Bytes
// written, 0 on failure (the cursor is then left where it was).
std::size_t EncodeCertificationRequestInfo(DERCursor* cursor, const ByteBuffer& version, const NameTable* subject,
                                           int keyAlgorithm, const RsaPublicKey* publicKey,
                                           const ExtensionTable* attributes);

// Reads the SEQUENCE whole: version (a view into the DER), subject, key and,
// when present, the attributes under [0] (or SET), which must end with the
// structure; anything else after the key fails. start receives the
// structure's first byte. The tables must hold heap copies or be empty:
// what they hold is released first. Bytes consumed; 0 on failure, with the
// cursor where it was, the tables empty and the key zeroed. The caller
// releases the tables with FreeItems(slots, 20 / 25).
std::size_t DecodeCertificationRequestInfo(DERCursor* cursor, ByteBuffer* version, NameTable* subject,
                                           int* keyAlgorithm, RsaPublicKey* publicKey, const unsigned char** start,
                                           ExtensionTable* attributes);
