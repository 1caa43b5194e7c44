// Time-stamp token checks on untrusted bytes: the token's signed parts, the
// signer certificate's key purpose and names, the server certificate check
// with the input as CA and as signer, and the TCP frame reader against the
// writer.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/text/text.h"
#include "tsp/protocol/server_certificate.h"
#include "tsp/protocol/tcp_framing.h"
#include "tsp/protocol/timestamping_usage.h"
#include "tsp/protocol/token_signed_parts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TokenSignedParts parts;
    if (ReadTokenSignedParts(data, size, &parts)) {
        TokenDigestOf(parts);
        TokenContentIsTSTInfo(parts);
        TokenDigestMatches(parts, parts.messageDigest.pointer, parts.messageDigest.length);
    }

    ByteBuffer subject{nullptr, 0};
    int timeStamping = 0;
    ScanTimeStampingUsage(data, size, &subject, &timeStamping);
    FreeItems(&subject, 1);

    ByteBuffer input{const_cast<std::uint8_t*>(data), size}, subjectName, issuerName;
    if (GetSignerCertificateNames(input, &subjectName, &issuerName) == 0) {
        FreeItems(&subjectName, 1);
        FreeItems(&issuerName, 1);
    }
    CheckServerCertificate(data, size, input);

    // A frame the reader takes is the frame the writer makes of its value.
    unsigned char flag = 0;
    ByteBuffer value, frame;
    if (ReadTcpFrame(data, size, &flag, &value)) {
        if (!WriteTcpFrame(flag, value.pointer, value.length, &frame) || frame.length > size ||
            std::memcmp(frame.pointer, data, frame.length) != 0)
            __builtin_trap();
        FreeItems(&frame, 1);
    }
    return 0;
}
