// The signing drivers: PKCS#7 signed data with or without the content, and
// signed data enveloped for one recipient. Files are read and the message
// written in blocks, so files of any size are never held whole in memory.
//
// Each driver answers true when the output file holds the message; false
// with `message` set to the system's text of the failure, the output file
// then left as it was before the call (the message is written to a new file
// beside it and moved over it only on success). An input that cannot be
// opened or an output that cannot be created throws EFileOpenError.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>
#include <string>

#include "platform/last_error.h"

// The certificate context must carry its private key (the key is looked up
// with the cache flag: it stays with the context).
bool SignPKCS7Attached(std::string inputFile, std::string outputFile, PCCERT_CONTEXT certificate,
                       std::string& message);
bool SignPKCS7Detached(std::string inputFile, std::string outputFile, PCCERT_CONTEXT certificate,
                       std::string& message);
// The same message (detached or with its content) as base64 text, encoded in
// the same pass: CRLF after every lineWidth groups of 4 characters and at the end.
bool SignPKCS7Base64(std::string inputFile, std::string outputFile, PCCERT_CONTEXT certificate, bool detached,
                     unsigned lineWidth, std::string& message);
// Signed data with the content, encrypted for the recipient certificate's
// key, in one pass (the signed message is never written); the recipient
// file holds DER, PEM or bare base64.
bool SignAndEnvelopePKCS7(std::string inputFile, std::string outputFile, PCCERT_CONTEXT certificate,
                          std::string recipientFile, std::string& message);
// The same message as base64 text, lines as SignPKCS7Base64 makes them.
bool SignAndEnvelopePKCS7Base64(std::string inputFile, std::string outputFile, PCCERT_CONTEXT certificate,
                                std::string recipientFile, unsigned lineWidth, std::string& message);

// Output of the message layer: writes the piece to the FILE* given as
// argument, flushing it after the final piece. False on a short write or a
// failing flush, with the thread's last error set.
bool CMsgStreamOutput(void* argument, const unsigned char* data, std::size_t length, bool final);

// A message file as the opening and verifying drivers read it: DER, or
// base64 text (IsBase64Input) decoded as it is read, never copied to disk.
struct TMessageFile {
    std::string path;
    bool base64 = false;
};

// The verifying drivers. The checks on the signer (signer 0 only), each
// made when its setting is not "": the CA file (the signer's certificate
// must be signed by its key), then OCSP (needs the CA file too) or else the
// CRL file. True when the message decoded, the signature verified and every
// configured check passed; `message` is set only on failure. The content
// reaches `outputFile` only then: it is written beside it and moved over it
// after the last check, so a failure leaves the client's earlier file.
// The file names below are DER files; each driver also takes a TMessageFile.
bool VerifyPKCS7Attached(std::string inputFile, std::string outputFile, std::string caFile, std::string crlFile,
                         std::string ocspUrl, std::string& message, std::string ocspResponseFile);
bool VerifyPKCS7Attached(const TMessageFile& input, std::string outputFile, std::string caFile,
                         std::string crlFile, std::string ocspUrl, std::string& message,
                         std::string ocspResponseFile);
// The signature file is read whole, in blocks, then the content file.
bool VerifyPKCS7Detached(std::string signatureFile, std::string contentFile, std::string caFile,
                         std::string crlFile, std::string ocspUrl, std::string& message,
                         std::string ocspResponseFile);
bool VerifyPKCS7Detached(const TMessageFile& signature, std::string contentFile, std::string caFile,
                         std::string crlFile, std::string ocspUrl, std::string& message,
                         std::string ocspResponseFile);

struct TSignerRecord;
// Decrypts an envelope for recipient 0, which must be the record's
// certificate, into the output (replaced only on success).
bool OpenEnvelope(std::string inputFile, std::string outputFile, const TSignerRecord& signer, std::string& message);
// Opens the envelope into a temporary file and verifies the signed message
// inside into the output, as VerifyPKCS7Attached.
bool OpenEnvelopeAndVerify(std::string inputFile, std::string outputFile, const TSignerRecord& signer,
                           std::string caFile, std::string crlFile, std::string ocspUrl, std::string& message,
                           std::string ocspResponseFile);
bool OpenEnvelopeAndVerify(const TMessageFile& input, std::string outputFile, const TSignerRecord& signer,
                           std::string caFile, std::string crlFile, std::string ocspUrl, std::string& message,
                           std::string ocspResponseFile);
