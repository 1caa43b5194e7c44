// The component's side of RFC 3161 time stamps, over the Halvery library's
// exports: a time stamp over a file's SHA-1 digest, and the check of a
// stored token against the file and the CA certificate.
#pragma once
#include <string>
#include <vector>

// Asks the authority at url for a time stamp over the file. True with the
// DER token in `token`; false with the reason in `message`. The authority's
// certificate must have been issued by the CA certificate (none given: no
// time stamp is accepted).
bool GetTimeStamp(std::string url, std::string fileName, std::vector<unsigned char>& token, const unsigned char* ca,
                  unsigned long caLength, std::string& message);

// Checks a stored DER token: it verifies, its imprint is the file's SHA-1
// digest (else code 1) and the CA certificate issued the authority's
// certificate (else code 2; code untouched on other failures). True with the
// report "Fecha: <genTime>\r\nSerial: <hex>\r\nDigestion: <hex>\r\n" in
// `message` (the time as the token holds it, fraction included); false with
// the reason in `message`.
bool VerifyTimeStamp(const unsigned char* token, unsigned long tokenLength, std::string fileName,
                     const unsigned char* ca, unsigned long caLength, int& code, std::string& message);
