#include "signer/cms/cms_common.h"

#include <algorithm>

#include "core/der/bytes.h"

namespace cmscommon {

bool Fail(DWORD code)
{
    SetLastError(code);
    return false;
}

std::vector<unsigned char> Reversed(const unsigned char* bytes, std::size_t count)
{
    std::vector<unsigned char> out(bytes, bytes + count);
    if (count) ReverseBytes(out.data(), count);
    return out;
}

void Wipe(std::vector<unsigned char>& bytes)
{
    if (!bytes.empty()) FillBytes(bytes.data(), 0, bytes.size());
}

bool KeyBytes(HCRYPTKEY key, std::size_t* bytes)
{
    DWORD bits = 0;
    DWORD size = sizeof bits;
    if (!CryptGetKeyParam(key, KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &size, 0)) return false;
    if (bits == 0 || bits > 16384) return Fail(static_cast<DWORD>(NTE_BAD_KEY));
    *bytes = (bits + 7) / 8;
    return true;
}

bool CallOutput(const CmsOutput& output, const unsigned char* data, std::size_t length, bool final)
{
    SetLastError(0);
    if (output.function(output.argument, data, length, final)) return true;
    if (GetLastError() == 0) SetLastError(ERROR_WRITE_FAULT);
    return false;
}

bool Emit(const CmsOutput& output, const unsigned char* data, std::size_t length, bool final)
{
    if (!output.function || (!length && !final)) return true;
    return CallOutput(output, data, length, final);
}

}  // namespace cmscommon
