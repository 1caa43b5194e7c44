// The digests a signed message's content is hashed with as it passes: one
// for each algorithm the message names that the platform has, on the
// caller's provider when it holds the algorithm, else on a verify context
// of our own. SHA-1, the common case, is digested by the core for its speed;
// its platform hash still names the provider the signature is checked on.
// The values are wiped with the set.
#pragma once
#include <windows.h>
#include <wincrypt.h>

#include <cstddef>

#include "core/hash/digest.h"
#include "platform/capi_handles.h"

class TCmsDigestSet {
public:
    static const std::size_t kMaxDigests = 5;
    static const std::size_t kMaxDigestBytes = 64;

    struct Digest {
        ALG_ID algorithm = 0;
        HCRYPTPROV provider = 0;
        TCryptHash hash;
        ShaState sha = {};  // SHA-1's, made by the core; `hash` then only names the provider
        unsigned char value[kMaxDigestBytes] = {};
        DWORD length = 0;
    };

    // The provider (may be 0) must outlive the set.
    explicit TCmsDigestSet(HCRYPTPROV callerProvider) : callerProvider_(callerProvider) {}
    ~TCmsDigestSet();
    TCmsDigestSet(const TCmsDigestSet&) = delete;
    TCmsDigestSet& operator=(const TCmsDigestSet&) = delete;

    // Starts hashing with the algorithm unless it runs already, the set is
    // full, or the platform lacks it (then it stays unhashed).
    void Start(ALG_ID algorithm);
    const Digest* Find(ALG_ID algorithm) const;
    bool HashAll(const unsigned char* data, std::size_t length);
    // Takes every value; the hashes are released.
    bool Finish();

private:
    static bool ByCore(const Digest& digest) { return digest.algorithm == CALG_SHA1; }
    HCRYPTPROV OwnProvider();

    HCRYPTPROV callerProvider_;
    TCryptProvider ownProvider_;  // before the digests: released after them
    bool ownTried_ = false;
    Digest digests_[kMaxDigests];
    std::size_t count_ = 0;
};
