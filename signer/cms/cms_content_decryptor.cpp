#include "signer/cms/cms_content_decryptor.h"

#include <algorithm>
#include <cstring>

#include "signer/cms/cms_common.h"
#include "signer/errors.h"

namespace {

using cmscommon::Fail;

bool Fail(HRESULT code) { return cmscommon::Fail(static_cast<DWORD>(code)); }

const std::size_t kDesBlock = 8;
// Ciphertext kept in memory before a key is known, before a file is made.
const std::size_t kHeldInMemory = 64 * 1024;

}  // namespace

TCmsContentDecryptor::~TCmsContentDecryptor() { cmscommon::Wipe(work_); }

bool TCmsContentDecryptor::Take(const unsigned char* data, std::size_t length)
{
    return decrypting_ ? Decrypt(data, length) : Spill(data, length);
}

bool TCmsContentDecryptor::End()
{
    cipherDone_ = true;
    return decrypting_ ? Finish() : true;
}

bool TCmsContentDecryptor::Spill(const unsigned char* data, std::size_t length)
{
    // A key known soon after the content starts needs no file at all.
    if (!spill_ && held_.size() + length <= kHeldInMemory) {
        held_.insert(held_.end(), data, data + length);
        return true;
    }
    if (!spill_) {
        try {
            spillName_.reset(new TTempFile("tcd"));
        } catch (const EFileOpenError&) {
            return Fail(GetLastError() ? GetLastError() : static_cast<DWORD>(ERROR_CANNOT_MAKE));
        }
        spill_.Reset(std::fopen(spillName_->c_str(), "w+b"));
        if (!spill_) return Fail(static_cast<DWORD>(ERROR_OPEN_FAILED));
    }
    if (!held_.empty()) {
        if (std::fwrite(held_.data(), 1, held_.size(), spill_.Get()) != held_.size())
            return Fail(static_cast<DWORD>(ERROR_WRITE_FAULT));
        held_.clear();
    }
    if (std::fwrite(data, 1, length, spill_.Get()) != length) return Fail(static_cast<DWORD>(ERROR_WRITE_FAULT));
    return true;
}

bool TCmsContentDecryptor::ImportKey(HCRYPTPROV provider, DWORD keySpec, ALG_ID algorithm,
                                     const std::vector<unsigned char>& iv, const ByteBuffer& wrappedKey)
{
    TCryptKey exchangeKey;
    if (!CryptGetUserKey(provider, keySpec, exchangeKey.Put())) return false;
    std::size_t modulus = 0;
    if (!cmscommon::KeyBytes(exchangeKey.Get(), &modulus)) return false;
    if (wrappedKey.length > modulus) return Fail(NTE_BAD_DATA);

    // SIMPLEBLOB: the header, the wrapping algorithm, then the wrapped key
    // little-endian over the modulus' length.
    BLOBHEADER blobHeader = {};
    blobHeader.bType = SIMPLEBLOB;
    blobHeader.bVersion = CUR_BLOB_VERSION;
    blobHeader.aiKeyAlg = algorithm;
    const ALG_ID wrapping = CALG_RSA_KEYX;
    const std::size_t prefix = sizeof blobHeader + sizeof wrapping;
    std::vector<unsigned char> key = cmscommon::Reversed(wrappedKey.pointer, wrappedKey.length);
    std::vector<unsigned char> blob(prefix + modulus, 0);
    CopyBytes(blob.data(), &blobHeader, sizeof blobHeader);
    CopyBytes(blob.data() + sizeof blobHeader, &wrapping, sizeof wrapping);
    CopyBytes(blob.data() + prefix, key.data(), key.size());
    if (!CryptImportKey(provider, blob.data(), static_cast<DWORD>(blob.size()), exchangeKey.Get(), CRYPT_NO_SALT,
                        contentKey_.Put()))
        return false;
    if (algorithm == CALG_3DES) {
        DWORD cbc = CRYPT_MODE_CBC;
        if (!CryptSetKeyParam(contentKey_.Get(), KP_MODE, reinterpret_cast<BYTE*>(&cbc), 0) ||
            !CryptSetKeyParam(contentKey_.Get(), KP_IV, const_cast<BYTE*>(iv.data()), 0)) {
            contentKey_.Reset();  // keeps the last error
            return false;
        }
    }
    algorithm_ = algorithm;
    return true;
}

bool TCmsContentDecryptor::Start()
{
    decrypting_ = true;
    work_.assign(kFileBlockSize + kDesBlock, 0);
    pending_ = 0;
    if (!held_.empty()) {
        std::vector<unsigned char> held;
        held.swap(held_);
        if (!Decrypt(held.data(), held.size())) return false;
    }
    if (spill_) {
        std::FILE* file = spill_.Get();
        if (std::fflush(file) != 0 || std::fseek(file, 0, SEEK_SET) != 0)
            return Fail(static_cast<DWORD>(ERROR_READ_FAULT));
        std::vector<unsigned char> block(kFeedBlockSize);
        for (;;) {
            const std::size_t n = std::fread(block.data(), 1, block.size(), file);
            if (n && !Decrypt(block.data(), n)) return false;
            if (n < block.size()) break;
        }
        if (std::ferror(file)) return Fail(static_cast<DWORD>(ERROR_READ_FAULT));
        spill_.Reset();
        spillName_.reset();
    }
    return cipherDone_ ? Finish() : true;
}

bool TCmsContentDecryptor::Decrypt(const unsigned char* data, std::size_t length)
{
    const bool blockCipher = algorithm_ == CALG_3DES;
    while (length) {
        const std::size_t take = std::min(length, work_.size() - pending_);
        CopyBytes(work_.data() + pending_, data, take);
        pending_ += take;
        data += take;
        length -= take;
        if ((pending_ == work_.size() || !blockCipher) && !DecryptPending()) return false;
    }
    return true;
}

// Decrypts what waits. A block cipher keeps back a part block and the last
// whole block, whose padding only the end may remove.
bool TCmsContentDecryptor::DecryptPending()
{
    const bool blockCipher = algorithm_ == CALG_3DES;
    const std::size_t count = !blockCipher ? pending_ : pending_ ? (pending_ - 1) / kDesBlock * kDesBlock : 0;
    if (!count) return true;
    DWORD size = static_cast<DWORD>(count);
    if (!CryptDecrypt(contentKey_.Get(), 0, FALSE, 0, work_.data(), &size)) return false;
    if (size != count) return Fail(NTE_BAD_LEN);
    if (!cmscommon::Emit(output_, work_.data(), count, false)) return false;
    std::memmove(work_.data(), work_.data() + count, pending_ - count);
    FillBytes(work_.data() + (pending_ - count), 0, count);
    pending_ -= count;
    return true;
}

bool TCmsContentDecryptor::Finish()
{
    if (!DecryptPending()) return false;
    DWORD size = static_cast<DWORD>(pending_);
    if (algorithm_ == CALG_3DES) {
        // Padding always adds a block's worth at most: the ciphertext is whole blocks.
        if (pending_ != kDesBlock) return Fail(NTE_BAD_DATA);
        if (!CryptDecrypt(contentKey_.Get(), 0, TRUE, 0, work_.data(), &size)) return false;
    }
    decrypting_ = false;
    decrypted_ = true;
    const bool ok = cmscommon::Emit(output_, work_.data(), size, true);
    cmscommon::Wipe(work_);
    contentKey_.Reset();
    return ok;
}
