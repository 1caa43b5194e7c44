// A CRL (X.509 CertificateList, DER, version 1 or 2) read element by element
// from a file stream, never whole in memory: VerifyCRLFile walks and checks
// it and copies its dates and revoked list to a scratch file, which a
// CRLFileReader then walks entry by entry.
#pragma once
#include <cstddef>

#include "core/der/bytes.h"
#include "core/io/stream.h"
#include "core/rsa/rsa_key.h"
#include "core/x509/name.h"

// Result codes.
enum : int {
    kCRLSuccess = 100,
    kCRLAlgorithmMismatch = 101,  // outer signatureAlgorithm differs from the inner one
    kCRLWriterEncoding = 102,
    kCRLNoStream = 103,
    kCRLIssuerCertificate = 104,
    kCRLStructure = 106,          // wrong tag, counts that do not add up, bytes after the signature
    kCRLArgument = 107,           // missing argument, or an element larger than its buffer
    kCRLSignFailed = 108,
    kCRLFileFailed = 109,         // the file stream cannot be set up, opened, read or written
    kCRLBadDate = 110,            // a UTCTime that fails CheckUTCTimeText
    kCRLHeaderFailed = 111,       // a header cannot be read, or a seek or skip failed
    kCRLNoList = 112,             // no revokedCertificates
    kCRLEndOfList = -1,
};

// Buffer sizes: what the reader and verifier accept.
enum : std::size_t {
    kCRLDateSize = 30,        // UTCTime values of at most 23 bytes plus NUL
    kCRLMaxDateLength = 23,
    kCRLSerialSize = 50,      // serial content after one leading 00
    kCRLNumberSize = 100,     // authority serial and CRL number, 99 bytes plus NUL
    kCRLSignatureSize = 256,  // signatures of keys up to 2048 bits
    kCRLReasonSize = 8,       // reason value plus NUL
};

// One reader of one scratch file; state per reader, so readers may interleave.
struct CRLFileReader {
    DataStream stream;
    long fileLength;
    int inList;  // 1 after the first entry call, until the end of the list
};

// Walks the CRL file; fills the issuer names, the authority serial and the
// CRL number (both ByteBuffers must point at kCRLNumberSize bytes; lengths
// set, values NUL-terminated). With caKey, signatureVerified is 1 when the
// signature verifies. With scratchFile, writes there the thisUpdate,
// nextUpdate and revokedCertificates elements as found. Result code.
int VerifyCRLFile(const char* crlFile, const char* scratchFile, NameTable* crlIssuer, NameTable* authorityIssuer,
                  ByteBuffer* authoritySerial, ByteBuffer* crlNumber, const RsaPublicKey* caKey,
                  int* signatureVerified);

// Digests length bytes of the open file stream from start with the
// algorithm's digest and checks the signature (BIT STRING content, unused
// bits byte first) with the CA key. The stream position is kept. Non-zero
// when the signature verifies.
int CheckCRLFileSignature(DataStream* stream, int algorithm, long start, std::size_t length,
                          const RsaPublicKey* caKey, const unsigned char* signature, std::size_t signatureLength);

// 100; 107 without reader or name; 109 when the file cannot be opened.
int OpenCRLFile(CRLFileReader* reader, const char* fileName);
// 100 always.
int CloseCRLFile(CRLFileReader* reader);
// Dates of the scratch file into kCRLDateSize buffers; nextUpdate "" when absent.
int ReadCRLFileDates(CRLFileReader* reader, char* thisUpdate, char* nextUpdate);
// The next revoked entry: serial->pointer must point at kCRLSerialSize
// bytes (length set), date at kCRLDateSize, reason at kCRLReasonSize ("" when
// absent). 100 with an entry, kCRLEndOfList after the last, else a code
// (112 when the scratch file holds no list). A code closes the reader.
int NextCRLFileEntry(CRLFileReader* reader, ByteBuffer* serial, char* date, unsigned char* reason);
