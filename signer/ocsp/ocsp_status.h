// The component's side of OCSP, over the Dunmere library's exports: one
// query for a certificate against its issuer, the answer kept as base64
// text (stored_answer.h checks a kept one).
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
// An answer that passed every check and gives the certificate's status
// replaces `responseFile` (unless that is "" or "NULL"); any other leaves
// the file as it was.
bool CheckOCSPStatus(std::string url, const unsigned char* target, unsigned long targetLength,
                     const unsigned char* issuer, unsigned long issuerLength, std::string& text, int& status,
                     std::string responseFile);

// Writes the bytes to a new file (created or emptied): 0 when every byte
// reached the disk and the file closed cleanly, 1 otherwise (a file that
// could not be written whole is deleted).
int SaveBufferToFile(const unsigned char* data, unsigned long length, const std::string& fileName);

// Tests put a responder of their own in place of the query; null restores it.
using OcspStatusQuery = bool (*)(const std::string& url, const unsigned char* target, unsigned long targetLength,
                                 const unsigned char* issuer, unsigned long issuerLength, std::string& text,
                                 int& status, const std::string& responseFile);
void SetOCSPStatusQueryForTests(OcspStatusQuery query);
