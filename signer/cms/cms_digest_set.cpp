#include "signer/cms/cms_digest_set.h"

#include <algorithm>

#include "core/der/bytes.h"

namespace {

// CryptHashData counts in DWORDs.
const std::size_t kHashPiece = 1 << 20;

}  // namespace

TCmsDigestSet::~TCmsDigestSet()
{
    for (Digest& digest : digests_) {
        FillBytes(digest.value, 0, sizeof digest.value);
        FillBytes(&digest.sha, 0, sizeof digest.sha);
    }
}

HCRYPTPROV TCmsDigestSet::OwnProvider()
{
    if (!ownTried_) {
        ownTried_ = true;
        // The AES provider holds the SHA-2 family as well.
        HCRYPTPROV provider = 0;
        if (CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) ||
            CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
            ownProvider_.Reset(provider);
    }
    return ownProvider_.Get();
}

void TCmsDigestSet::Start(ALG_ID algorithm)
{
    if (Find(algorithm) || count_ == kMaxDigests) return;
    Digest& digest = digests_[count_];
    if (callerProvider_ && CryptCreateHash(callerProvider_, algorithm, 0, 0, digest.hash.Put())) {
        digest.provider = callerProvider_;
    } else if (HCRYPTPROV own = OwnProvider()) {
        if (CryptCreateHash(own, algorithm, 0, 0, digest.hash.Put())) digest.provider = own;
    }
    if (!digest.provider) return;
    digest.algorithm = algorithm;
    if (ByCore(digest)) InitSha1(&digest.sha);
    ++count_;
}

const TCmsDigestSet::Digest* TCmsDigestSet::Find(ALG_ID algorithm) const
{
    for (std::size_t i = 0; i < count_; ++i)
        if (digests_[i].algorithm == algorithm) return &digests_[i];
    return nullptr;
}

bool TCmsDigestSet::HashAll(const unsigned char* data, std::size_t length)
{
    for (std::size_t i = 0; i < count_; ++i) {
        if (ByCore(digests_[i])) {
            UpdateSha1(&digests_[i].sha, data, length);
            continue;
        }
        for (std::size_t done = 0; done < length;) {
            const DWORD piece = static_cast<DWORD>(std::min(length - done, kHashPiece));
            if (!CryptHashData(digests_[i].hash.Get(), data + done, piece, 0)) return false;
            done += piece;
        }
    }
    return true;
}

bool TCmsDigestSet::Finish()
{
    for (std::size_t i = 0; i < count_; ++i) {
        Digest& digest = digests_[i];
        DWORD size = sizeof digest.value;
        if (ByCore(digest)) {
            FinalSha1(digest.value, &digest.sha);
            size = 20;
        } else if (!CryptGetHashParam(digest.hash.Get(), HP_HASHVAL, digest.value, &size, 0)) {
            return false;
        }
        digest.length = size;
        digest.hash.Reset();
    }
    return true;
}
