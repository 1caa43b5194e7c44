// The engine's PKCS#7 decoder and its decoding entry points: signedData,
// envelopedData, signedAndEnvelopedData, encryptedData and data, read from a
// DataStream with definite lengths, keys and records in the slots of
// pkcs7_engine_params.h. Every function answers a Pkcs7Result.
#pragma once
#include <cstddef>

#include "core/datasets/datasets.h"
#include "core/der/der.h"
#include "core/io/stream.h"
#include "core/pkcs7/pkcs7_engine_params.h"

// The decoder proper. status starts at kSignatureUndecided, innerType at 0,
// contentCipher at kCipherNotSet. typeHint: 255 for a message that begins
// with its ContentInfo, 2-4 for the bare fields of a signedData,
// envelopedData or signedAndEnvelopedData. skip bytes are dropped first.
// keyless: no content key is recovered and no signature checked. chunk holds
// kPkcs7RecordBufferSize bytes. cursor is not needed and may be null.
Pkcs7Result DecodePKCS7Stream(DataStream* contentOutput, DataStream* message, DataStream* detachedContent,
                              int* status, int typeHint, int* innerType, int* outerType, std::size_t skip,
                              bool keyless, DataSets* sets, DERCursor* cursor, unsigned char* chunk,
                              int* contentCipher);

// Clears slots 0-3, decodes with content-key recovery and, on any result but
// Done, clears them again and reports the outer type kOuterFailed.
Pkcs7Result DecodePKCS7Message(DataStream* contentOutput, DataStream* message, DataStream* detachedContent,
                               int* status, int typeHint, int* innerType, int* outerType, std::size_t skip,
                               DataSets* sets, DERCursor* cursor, int* contentCipher);
// Key-less: enveloped content is copied out as it stands and slot 3 gets "X".
Pkcs7Result DecodePKCS7MessageNoKey(DataStream* contentOutput, DataStream* message, int* status, int typeHint,
                                    int* innerType, int* outerType, std::size_t skip, DataSets* sets);

// Decodes (type read from the message) and copies the first carried
// certificate into certificate (capacity bytes) with its length; NoMemory
// when it does not fit. certificate and length may both be null.
Pkcs7Result DecodePKCS7FirstCertificate(DataStream* contentOutput, DataStream* message, int* status,
                                        unsigned char* certificate, std::size_t capacity, std::size_t* length,
                                        DataSets* sets, int* contentCipher);
Pkcs7Result DecodeDetachedPKCS7FirstCertificate(DataStream* contentOutput, DataStream* message,
                                                DataStream* detachedContent, int* status,
                                                unsigned char* certificate, std::size_t capacity,
                                                std::size_t* length, DataSets* sets, int* contentCipher);

// Mode 3: turns the SignerInfos of an opened signedAndEnvelopedData (slot 0)
// into those of a signedData, their encryptedDigest decrypted with the key
// and IV of slot 3 (8 bytes: DES-CBC, 24: triple DES); slots 2, 3 and 7 are
// cleared when all succeed.
Pkcs7Result DecryptSignerInfos(int mode, DataSets* sets, DERCursor* cursor, int contentCipher);

// Opens the message with the own key (DER, its password as text) and checks
// the carried certificates against the CA certificate: status 1 when the
// signatures verified and every carried certificate was issued by the CA.
Pkcs7Result OpenPKCS7CheckCertificates(DataStream* message, DataStream* contentOutput,
                                       const unsigned char* caCertificate, std::size_t caLength,
                                       const unsigned char* ownKey, std::size_t ownKeyLength, const char* password,
                                       int* status, DataSets* sets);
// The same after skipping bytes, checking the certificates whatever the
// signatures gave; the certificate check only ever lowers the status.
Pkcs7Result OpenPKCS7CheckCertificatesAt(DataStream* message, DataStream* contentOutput,
                                         const unsigned char* caCertificate, std::size_t caLength,
                                         const unsigned char* ownKey, std::size_t ownKeyLength,
                                         const char* password, int* status, DataSets* sets, std::size_t skip);
