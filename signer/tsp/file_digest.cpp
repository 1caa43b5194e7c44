#include "signer/tsp/file_digest.h"

#include <cstdint>
#include <limits>
#include <new>

#include "platform/capi_handles.h"
#include "platform/last_error.h"
#include "platform/owner.h"
#include "signer/driver_util.h"
#include "signer/files/file_utils.h"

namespace {

// Takes the fed blocks into the hash.
struct THashLayer {
    HCRYPTHASH hash;
    bool Update(const unsigned char* data, std::size_t length, bool)
    {
        return CryptHashData(hash, data, static_cast<DWORD>(length), 0) != FALSE;
    }
};

}  // namespace

bool DigestBlockStreaming(std::string fileName, ALG_ID algorithm, std::vector<unsigned char>& digest,
                          std::string& errorText)
{
    TFile file = OpenFileOrThrow(fileName, "rb");
    TCryptProvider provider;
    if (!AcquireVerifyProvider(provider)) {
        errorText = "Error al adquirir CSP para digestion";
        return false;
    }
    TCryptHash hash;
    if (!CryptCreateHash(provider.Get(), algorithm, 0, 0, hash.Put())) {
        errorText = "Error creando objeto de digestion" + GetLastErrorText();
        return false;
    }
    // No size is counted down: the blocks run to the end of the file, so a
    // file over 4 GiB or one that grew since it was opened is digested whole.
    THashLayer layer{hash.Get()};
    if (!FeedFile(file.Get(), std::numeric_limits<std::uint64_t>::max(), layer)) {
        errorText = "Error generando digestion" + GetLastErrorText();
        return false;
    }
    DWORD hashSize = 0, sizeLength = sizeof hashSize;
    if (!CryptGetHashParam(hash.Get(), HP_HASHSIZE, reinterpret_cast<BYTE*>(&hashSize), &sizeLength, 0)) {
        errorText = "CryptGetHashParam fallo al estimar longitud" + GetLastErrorText();
        return false;
    }
    DWORD length = 0;
    if (!CryptGetHashParam(hash.Get(), HP_HASHVAL, nullptr, &length, 0)) {
        errorText = "CryptGetHashParam fallo al escribir la longitud" + GetLastErrorText();
        return false;
    }
    std::vector<unsigned char> value;
    try {
        value.resize(length);
    } catch (const std::bad_alloc&) {
        errorText = "Error reservando memoria para la digestion" + GetErrorText(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if (!CryptGetHashParam(hash.Get(), HP_HASHVAL, value.data(), &length, 0)) {
        errorText = "CryptGetHashParam fallo al obtener la digestion" + GetLastErrorText();
        return false;
    }
    value.resize(length);
    digest.swap(value);
    return true;
}
