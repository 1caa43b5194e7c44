// The two CryptoAPI token verifiers called the way the tests compare them:
// the outcome, the result code, the TSTInfo and the signer certificate.
#pragma once
#ifdef _WIN32
#include <vector>

#include "core/text/text.h"
#include "tsp/protocol/tsp_capi.h"

namespace testsupport::tsa {

struct Verified {
    int ok = -1;
    int result = -1;
    std::vector<unsigned char> eContent;
    std::vector<unsigned char> signer;  // VerifyTimeStampToken only
};

inline Verified VerifyToken(const std::vector<unsigned char>& token)
{
    Verified out;
    std::vector<unsigned char> eContent(kTSPEContentCapacity);
    std::size_t length = 0;
    ByteBuffer signer{nullptr, 0};
    out.ok = VerifyTimeStampToken(eContent.data(), &length, token.data(), token.size(), &out.result, &signer);
    out.eContent.assign(eContent.begin(), eContent.begin() + static_cast<long>(length));
    if (signer.pointer) out.signer.assign(signer.pointer, signer.pointer + signer.length);
    FreeItems(&signer, 1);
    return out;
}

inline Verified VerifyTokenOnly(const std::vector<unsigned char>& token)
{
    Verified out;
    std::vector<unsigned char> eContent(kTSPEContentCapacity);
    std::size_t length = 0;
    out.ok = VerifyTimeStampTokenOnly(eContent.data(), &length, token.data(), token.size(), &out.result);
    out.eContent.assign(eContent.begin(), eContent.begin() + static_cast<long>(length));
    return out;
}

}  // namespace testsupport::tsa
#endif
