// Encrypted digests of the SignerInfos of a signedAndEnvelopedData: a
// SignerInfo record rewritten with another encryptedDigest, and the
// re-encryption of every carried SignerInfo under a new content key, which
// turns a signedData's signers into those of a signedAndEnvelopedData.
#pragma once
#include <cstddef>

#include "core/datasets/datasets.h"
#include "core/der/bytes.h"
#include "core/pkcs7/pkcs7_engine_params.h"

struct DERCursor;

enum : int { kSignerInfosEncrypt = 1 };

// The SignerInfo (whole DER) with its encryptedDigest replaced, every other
// field kept as it is encoded; written at the end of buffer. False for a
// record that is not a SignerInfo or a result that does not fit.
bool ReplaceSignerInfoDigest(const ByteBuffer& signerInfo, const ByteBuffer& encryptedDigest,
                             unsigned char* buffer, std::size_t size, ByteBuffer* rewritten);

// Mode kSignerInfosEncrypt: draws a new content key and IV (DES for DES and
// RC4 messages, triple DES for cipher 2), puts them in slot 3 and encrypts the
// encryptedDigest of every SignerInfo of slot 0 under them, as the encoder
// encrypts new signatures. Done; NoMemory when the key cannot be stored;
// BadStructure for another mode or any other failure (slot 0 unchanged).
// cursor is not used.
Pkcs7Result EncryptSignerInfos(int mode, DataSets* sets, DERCursor* cursor, int contentCipher);
