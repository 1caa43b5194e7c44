// The revocation list of one CRL file: its dates, issuer and the serial
// texts of its revoked certificates, searched with a certificate's serial.
#pragma once
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "core/der/bytes.h"
#include "core/x509/name.h"

// Case-insensitive text order of the revoked list (serial texts are ASCII).
struct TCaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

class TCRL {
public:
    enum : std::size_t { kAuthorityBufferSize = 100 };

    TCRL();
    ~TCRL();
    TCRL(const TCRL&) = delete;
    TCRL& operator=(const TCRL&) = delete;

    // Reads the CRL file (DER) in one pass and keeps every entry; with
    // caFile set, the CRL must be the CA's and its signature must verify
    // with the CA's key. False leaves errorText set and the list empty. A
    // CRL without revoked certificates loads as an empty list.
    bool Load(const std::string& file);
    // The same checks, keeping only the entry of this serial text: what a
    // revocation check needs, in memory that does not grow with the CRL.
    bool LoadEntryOf(const std::string& file, const std::string& serialText);
    // Whether the serial text (SerialNumberText) is listed, in any case.
    bool FindSerial(const std::string& serialText) const;
    // Empties the list, the dates, errorText and both names; caFile stays.
    void Clear();
    // Whether the loaded CRL's issuer is this Name, byte for byte as
    // both encode it (DER).
    bool IssuedBy(const unsigned char* name, std::size_t length) const;

    std::string thisUpdate;
    std::string nextUpdate;
    // Serial text -> revocation date text.
    std::map<std::string, std::string, TCaseInsensitiveLess> revokedSerials;
    std::string caFile;  // empty: no signature check
    std::string errorText;
    NameTable crlIssuer;
    NameTable authorityIssuer;
    std::vector<unsigned char> issuerName;  // the issuer Name's DER
    ByteBuffer authoritySerial;
    ByteBuffer crlNumber;
    int signatureVerified = 0;

private:
    bool LoadEntries(const std::string& file, const std::string* onlySerial);

    unsigned char authoritySerialBuffer_[kAuthorityBufferSize] = {};
    unsigned char crlNumberBuffer_[kAuthorityBufferSize] = {};
};

// Result of the revocation check by CRL.
enum class TCRLStatus { Good, Revoked, Undetermined };

// Loads crlFile for the serial (signature checked when caFile is not
// empty), requires its issuer to be the certificate's issuer (DER, byte for
// byte) and looks the serial text up. Undetermined leaves the reason in
// reason.
TCRLStatus CheckCRLStatus(const std::string& crlFile, const std::string& caFile, const unsigned char* certificateIssuer,
                          std::size_t issuerLength, const std::string& serialText, std::string& reason);
