// The component's side of OCSP, over the Dunmere library's exports: one
// query for a certificate against its issuer, the answer kept as base64
// text, and the offline check of a stored answer.
#pragma once
#include <initializer_list>
#include <string>

// Status values of a produced answer.
enum : int {
    kOcspStatusGood = 0x20,
    kOcspStatusRevoked = 0x40,
    kOcspStatusUnknown = 0x80,
};

// True when a status was obtained, written to `status` with `text`
// describing it; false with the failure in `text` (status untouched).
// The answer is kept in `responseFile` unless that is "" or "NULL".
bool CheckOCSPStatus(std::string url, const unsigned char* target, unsigned long targetLength,
                     const unsigned char* issuer, unsigned long issuerLength, std::string& text, int& status,
                     std::string responseFile);

// Writes the bytes to a new file (created or emptied): 0 when every byte
// reached the disk and the file closed cleanly, 1 otherwise (a file that
// could not be written whole is deleted).
int SaveBufferToFile(const unsigned char* data, unsigned long length, const std::string& fileName);

// True when the stored response checks out against the CA and says the
// certificate is good (message ""); false with the reason in `message`.
bool CheckOCSPResponseFile(const unsigned char* response, unsigned long responseLength, const unsigned char* ca,
                           unsigned long caLength, std::string& message);

// Tests put a responder of their own in place of the query; null restores it.
using OcspStatusQuery = bool (*)(const std::string& url, const unsigned char* target, unsigned long targetLength,
                                 const unsigned char* issuer, unsigned long issuerLength, std::string& text,
                                 int& status, const std::string& responseFile);
void SetOCSPStatusQueryForTests(OcspStatusQuery query);
