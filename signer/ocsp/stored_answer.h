// The check of a stored OCSP answer (operation "OCSP"), offline and by
// Dunmere's own code, against the configured CA. An answer kept without its
// request cannot prove its nonce; what binds it to now is its times: it
// counts within a day of the clock (kStoredAnswerTolerance) and never past
// its nextUpdate.
#pragma once
#include <string>

// HHMMSS: how far producedAt and thisUpdate may lie from the clock.
extern const char kStoredAnswerTolerance[7];

// Without the certificate the answer speaks of: the responder's certificate
// issued by the CA and in force, its signature, producedAt within the
// tolerance, and the first status the answer holds. True when that status
// is good (message ""); false with the reason in `message`.
bool CheckOCSPResponseFile(const unsigned char* response, unsigned long responseLength, const unsigned char* ca,
                           unsigned long caLength, std::string& message);

// With it: as the live query checks an answer, the nonce aside. The answer
// must hold a status for this certificate (serial, issuer's name and key),
// whose thisUpdate lies within the tolerance and whose nextUpdate, when
// given, has not passed. True when that status is good (message "").
bool CheckOCSPResponseForCertificate(const unsigned char* response, unsigned long responseLength,
                                     const unsigned char* certificate, unsigned long certificateLength,
                                     const unsigned char* ca, unsigned long caLength, std::string& message);
