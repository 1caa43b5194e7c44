// The CRL writer: revoked entries gathered in a file of their own beside
// the target, then signed into a CRL (X.509 v2 CertificateList, DER, no
// extensions) that takes the target's place only once it is whole. A
// failure at any step leaves the target as it was and no file beside it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_set>

#include "core/io/replacement_file.h"
#include "core/io/stream.h"
#include "core/rsa/rsa_key.h"
#include "core/x509/crl_file.h"

enum : std::size_t { kCRLMaxWriterSerial = 23 };  // serial bytes an entry may carry
enum : int { kCRLNoReason = -1 };

struct CRLFileWriter {
    DataStream entries{};         // raw, started for writing while the writer is open
    ReplacementFile entriesFile;  // never committed: it goes with the writer
    char target[kStreamFileNameSize] = {};
    std::uint64_t entriesLength = 0;
    std::unordered_set<std::string> serials;  // those written, without leading zero bytes
};

// The writer's small helper: sets up a new entries file beside target (the
// target is not touched). 100; 107 without a target; 109 when no file can
// be made there. An open writer is closed first.
int OpenCRLFileWriter(CRLFileWriter* writer, const char* target);
// Abandons the entries: their file goes, the target stays. 100 always.
int CloseCRLFileWriter(CRLFileWriter* writer);

// Appends one revokedCertificate { INTEGER serial, UTCTime date
// [, crlEntryExtensions { reasonCode }] }. serial: big-endian magnitude, 1
// to 23 bytes; date: YYMMDDhhmmssZ passing CheckUTCTimeText; reason: a
// CRLReason value (0-6, 8-10) or kCRLNoReason. 100; 103 writer not open;
// 107 for a bad argument or a serial already written (nothing is written,
// the writer goes on); 109 when the entries file cannot be written (the
// writer is then closed).
int AddCRLFileEntry(CRLFileWriter* writer, const unsigned char* serial, std::size_t serialLength, const char* date,
                    int reason);

// Signs the entries into the target: the TBSCertList (version 2, the
// signature algorithm, issuer = the issuer certificate's subject as it
// encodes it, thisUpdate, nextUpdate when not null or "", the entries when
// there are any), signatureAlgorithm and signature. algorithm: 101, 102,
// 103 or 111. 100; 103 writer not open; 107 bad argument, 104 issuer
// certificate that does not decode (both leave the writer open); 102 an
// encoding step failed, 108 no signature the certificate's key verifies,
// 109 a file could not be read or written. Every result but 107 and 104
// closes the writer.
int SignCRLFile(CRLFileWriter* writer, const unsigned char* issuerCertificate, std::size_t issuerLength,
                const RsaPrivateKey* key, const char* thisUpdate, const char* nextUpdate, int algorithm);

// Puts header in front of the file's content: header and content go to a
// new file beside it, which then replaces it. 100; 107 no name; 109 when
// the file cannot be read or the new one written (the file stays as it was).
int PrependCRLFileHeader(const char* fileName, const unsigned char* header, std::size_t headerLength);
