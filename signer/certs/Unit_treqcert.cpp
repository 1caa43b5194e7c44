#include "signer/certs/Unit_treqcert.h"

#include <windows.h>

#include <cstdio>
#include <memory>

#include "core/text/text.h"
#include "signer/errors.h"
#include "signer/files/file_utils.h"

namespace {

// The whole file, when it is no larger than a certificate file can be:
// false for a larger one (nothing kept). Throws EFileOpenError when it
// cannot be read.
bool ReadCertificateFile(const std::string& path, std::vector<unsigned char>& bytes)
{
    TFile file = OpenFileOrThrow(path, "rb");
    bytes.clear();
    unsigned char piece[4096];
    for (;;) {
        std::size_t got = std::fread(piece, 1, sizeof piece, file.Get());
        if (bytes.size() + got > TReqCert::kMaxFileSize) {
            bytes.clear();
            return false;
        }
        bytes.insert(bytes.end(), piece, piece + got);
        if (got < sizeof piece) break;
    }
    if (std::ferror(file.Get())) throw EFileOpenError("No se puede leer el archivo " + path);
    return true;
}

}  // namespace

TReqCert::TReqCert() = default;

TReqCert::~TReqCert() { Clear(); }

bool TReqCert::IsValid() { return false; }

bool TReqCert::Decode() { return false; }

void TReqCert::ReleaseTables()
{
    FreeItems(subject.slots, kNameSlots);
    FreeItems(extensions.slots, kExtensionSlots);
    FreeItems(issuer.slots, kNameSlots);
}

void TReqCert::Clear()
{
    decoded = false;
    data.clear();
    ReleaseTables();
}

const unsigned char* TReqCert::GetData() const { return decoded ? data.data() : nullptr; }

std::size_t TReqCert::GetSize() const { return decoded ? data.size() : 0; }

const RsaPublicKey* TReqCert::GetPublicKey() const { return decoded ? &publicKey : nullptr; }

bool TReqCert::LoadFromFile(const std::string& path)
{
    if (decoded) Clear();
    if (!FileExists(path) || !ReadCertificateFile(path, data)) return false;
    return Decode();
}

bool TReqCert::LoadFromBuffer(std::size_t length, const unsigned char* bytes)
{
    if (decoded) Clear();
    if (length == 0 || bytes == nullptr) return false;
    data.assign(bytes, bytes + length);
    return Decode();
}

bool TReqCert::PemToDer(std::vector<unsigned char>& stream)
{
    // A file shorter than the four bytes looked at is still judged by what it has.
    bool armoured = stream.size() >= 4 && stream[0] == '-' && stream[1] == '-' && stream[2] == '-' &&
                    stream[3] == '-';
    bool bare = !stream.empty() && stream[0] == 'M';
    if (!armoured && !bare) return true;
    std::vector<unsigned char> bytes(stream.size());
    std::size_t count = Base64DecodeToBuffer(reinterpret_cast<const char*>(stream.data()), stream.size(),
                                             bytes.data(), bytes.size());
    if (count == 0) return false;
    bytes.resize(count);
    stream.swap(bytes);
    return true;
}
