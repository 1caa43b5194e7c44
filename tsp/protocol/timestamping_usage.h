// Whether a certificate is meant for time stamping: its extKeyUsage names
// id-kp-timeStamping as the first key purpose.
#pragma once
#include <cstddef>

#include "core/der/bytes.h"

enum : std::size_t {
    kTimeStampingCertificateLimit = 6144,  // larger certificates are not parsed
};

// Bytes parsed up to the end of subjectPublicKeyInfo (0: not parsable; a
// validity in GeneralizedTime is not parsable). subject takes a new copy of
// the subject Name's whole encoding (FreeItems), timeStamping 1 when the
// extKeyUsage's first purpose is id-kp-timeStamping, else 0.
std::size_t ScanTimeStampingUsage(const unsigned char* certificate, std::size_t length, ByteBuffer* subject,
                                  int* timeStamping);
