// A CRL (X.509 CertificateList, DER, version 1 or 2) read from a file in one
// forward pass, never whole in memory. ReadCRLFile checks it and hands each
// revoked entry to the caller as it passes; VerifyCRLFile makes the same
// pass and copies the dates and the revoked list to a scratch file, which a
// CRLFileReader then walks entry by entry. The writer is crl_file_writer.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/der/bytes.h"
#include "core/io/stream.h"
#include "core/rsa/rsa_key.h"
#include "core/x509/crl_window.h"
#include "core/x509/name.h"

// Result codes.
enum : int {
    kCRLSuccess = 100,
    kCRLAlgorithmMismatch = 101,  // outer signatureAlgorithm differs from the inner one
    kCRLWriterEncoding = 102,     // writer: an identifier, digest or encoding step failed
    kCRLNoStream = 103,           // reader or writer not opened
    kCRLIssuerCertificate = 104,  // writer: the issuer certificate does not decode
    kCRLStructure = 106,          // wrong tag, counts that do not add up, bytes after the signature
    kCRLArgument = 107,           // missing or bad argument, or an element larger than its buffer
    kCRLSignFailed = 108,         // writer: no signature could be made with the key
    kCRLFileFailed = 109,         // the file stream cannot be set up, opened, read or written
    kCRLBadDate = 110,            // a UTCTime that fails CheckUTCTimeText
    kCRLHeaderFailed = 111,       // a header cannot be read, or the file ends inside an element
    kCRLNoList = 112,             // no revokedCertificates
    // A critical extension we do not process, or a delta CRL: the list is
    // not known to be complete. The rest of the CRL was read and checked.
    kCRLCriticalExtension = 113,
    kCRLEndOfList = -1,
};

// Buffer sizes: what the reader and verifier accept.
enum : std::size_t {
    kCRLDateSize = 30,        // UTCTime values of at most 23 bytes plus NUL
    kCRLMaxDateLength = 23,
    kCRLSerialSize = 50,      // serial content after one leading 00, plus NUL
    kCRLNumberSize = 100,     // authority serial and CRL number, 99 bytes plus NUL
    kCRLSignatureSize = 256,  // signatures of keys up to 2048 bits
    kCRLReasonSize = 8,       // reason value plus NUL
    kCRLIssuerSize = 2048,    // the issuer Name's DER
};

// The helper every CRL stream is set up with: a named raw file stream of
// kind 3, started in the mode (read, write or append). 100, or 109 when it
// cannot be set up or opened (the record is then closed).
int OpenCRLFileStream(DataStream* stream, const char* fileName, std::uint32_t mode);

// Where a pass over a CRL puts what it reads. authoritySerial and crlNumber
// point at kCRLNumberSize bytes, issuerName (may be null) at kCRLIssuerSize,
// thisUpdate and nextUpdate (may be null) at kCRLDateSize; lengths are set
// and values NUL-terminated. The name tables are filled with heap copies.
struct CRLFileOutputs {
    NameTable* crlIssuer = nullptr;
    NameTable* authorityIssuer = nullptr;
    ByteBuffer* authoritySerial = nullptr;
    ByteBuffer* crlNumber = nullptr;
    ByteBuffer* issuerName = nullptr;  // the issuer Name as the CRL encodes it
    char* thisUpdate = nullptr;
    char* nextUpdate = nullptr;        // "" when absent
    int signatureAlgorithm = -1;       // code of the signature algorithm, -1 unknown
    int signatureVerified = 0;         // 1 when the signature verified with the CA key
    int failedInList = 0;              // 1 when the failure was met inside revokedCertificates
};

// The outputs over the caller's own fields (issuerName, thisUpdate and
// nextUpdate may be null).
CRLFileOutputs CRLFileOutputsOver(NameTable* crlIssuer, NameTable* authorityIssuer, ByteBuffer* authoritySerial,
                                  ByteBuffer* crlNumber, ByteBuffer* issuerName, char* thisUpdate, char* nextUpdate);

// Fields of their own for every output, the tables released with them.
struct CRLFileFields {
    NameTable crlIssuer, authorityIssuer;
    unsigned char authoritySerialBytes[kCRLNumberSize] = {}, crlNumberBytes[kCRLNumberSize] = {};
    unsigned char issuerNameBytes[kCRLIssuerSize] = {};
    ByteBuffer authoritySerial = {authoritySerialBytes, 0}, crlNumber = {crlNumberBytes, 0};
    ByteBuffer issuerName = {issuerNameBytes, 0};
    char thisUpdate[kCRLDateSize] = {}, nextUpdate[kCRLDateSize] = {};
    CRLFileOutputs outputs = CRLFileOutputsOver(&crlIssuer, &authorityIssuer, &authoritySerial, &crlNumber,
                                                &issuerName, thisUpdate, nextUpdate);
    CRLFileFields() = default;
    ~CRLFileFields();
    CRLFileFields(const CRLFileFields&) = delete;
    CRLFileFields& operator=(const CRLFileFields&) = delete;
};

// Called for every revoked entry once it has been read and checked: its
// serial (content, one leading 00 dropped), revocation date and reason (""
// when absent). kCRLSuccess to go on; any other code ends the pass with it.
struct CRLEntryVisitor {
    int (*onEntry)(void* context, const ByteBuffer& serial, const char* date, const unsigned char* reason);
    void* context;
};

// One pass over the CRL file: structure, dates and extensions checked, the
// signature verified with caKey when given, each entry to the visitor (may
// be null). Result code; kCRLCriticalExtension once everything else passed.
int ReadCRLFile(const char* crlFile, const RsaPublicKey* caKey, CRLFileOutputs* outputs,
                const CRLEntryVisitor* visitor);

// The same pass with the outputs given one by one; with scratchFile, writes
// there the thisUpdate, nextUpdate and revokedCertificates elements as
// found (entries are checked by the reader, not here). A failure removes
// the scratch file.
int VerifyCRLFile(const char* crlFile, const char* scratchFile, NameTable* crlIssuer, NameTable* authorityIssuer,
                  ByteBuffer* authoritySerial, ByteBuffer* crlNumber, const RsaPublicKey* caKey,
                  int* signatureVerified);

// Digests length bytes of the open file stream from start with the
// algorithm's digest and checks the signature (BIT STRING content, unused
// bits byte first) with the CA key. The stream position is kept. Non-zero
// when the signature verifies.
int CheckCRLFileSignature(DataStream* stream, int algorithm, long start, std::size_t length,
                          const RsaPublicKey* caKey, const unsigned char* signature, std::size_t signatureLength);

// One reader of one scratch file; state per reader, so readers may interleave.
struct CRLFileReader {
    DataStream stream{};
    CRLWindow window;
    int inList = 0;            // 1 inside the list, until its end
    std::uint64_t listEnd = 0;
};

// 100; 107 without reader or name; 109 when the file cannot be opened.
int OpenCRLFile(CRLFileReader* reader, const char* fileName);
// 100 always.
int CloseCRLFile(CRLFileReader* reader);
// Dates of the scratch file into kCRLDateSize buffers; nextUpdate "" when absent.
int ReadCRLFileDates(CRLFileReader* reader, char* thisUpdate, char* nextUpdate);
// The next revoked entry: serial->pointer must point at kCRLSerialSize
// bytes (length set), date at kCRLDateSize, reason at kCRLReasonSize ("" when
// absent). 100 with an entry, kCRLEndOfList after the last, else a code
// (112 when the scratch file holds no list, 113 for an entry with a critical
// extension other than reasonCode). A code closes the reader.
int NextCRLFileEntry(CRLFileReader* reader, ByteBuffer* serial, char* date, unsigned char* reason);
// From the top of the list, the entry whose serial (one leading 00 dropped)
// is these bytes: 100 with its date and reason, kCRLEndOfList when it is not
// listed (the reader stays open), else a code as NextCRLFileEntry.
int FindCRLFileEntry(CRLFileReader* reader, const unsigned char* serial, std::size_t serialLength, char* date,
                     unsigned char* reason);
