// One-shot base64 (no line breaks) against EVP_EncodeBlock / EVP_DecodeBlock.
#include <openssl/evp.h>

#include "bench/bench.h"
#include "core/io/base64.h"

namespace {

const std::size_t kBytes = 3 << 18;  // a multiple of 3: no padding on either side
const std::size_t kText = kBytes / 3 * 4;

std::vector<unsigned char>& TextOut()
{
    static std::vector<unsigned char> text(kText + 1);
    return text;
}

std::vector<unsigned char>& BytesOut()
{
    static std::vector<unsigned char> bytes(kBytes + 3);
    return bytes;
}

// The text both decoders read: the input bytes encoded by libcrypto.
const std::vector<unsigned char>& Text()
{
    static std::vector<unsigned char> text = [] {
        std::vector<unsigned char> t(kText + 1);
        EVP_EncodeBlock(t.data(), BenchInput(kBytes).data(), static_cast<int>(kBytes));
        t.resize(kText);
        return t;
    }();
    return text;
}

std::uint32_t CoreEncode()
{
    std::size_t length = 0;
    EncodeBase64(reinterpret_cast<char*>(TextOut().data()), &length, BenchInput(kBytes).data(), kBytes);
    return BenchFingerprint(TextOut().data(), length);
}

std::uint32_t PeerEncode()
{
    int length = EVP_EncodeBlock(TextOut().data(), BenchInput(kBytes).data(), static_cast<int>(kBytes));
    return BenchFingerprint(TextOut().data(), static_cast<std::size_t>(length));
}

std::uint32_t CoreDecode()
{
    std::size_t length = 0;
    if (DecodeBase64(BytesOut().data(), &length, Text().data(), Text().size()) != 0) return 0;
    return BenchFingerprint(BytesOut().data(), length);
}

std::uint32_t PeerDecode()
{
    int length = EVP_DecodeBlock(BytesOut().data(), Text().data(), static_cast<int>(Text().size()));
    if (length < 0) return 0;
    return BenchFingerprint(BytesOut().data(), static_cast<std::size_t>(length));
}

// Rates count the input of each side: bytes for encoding, characters for decoding.
BENCH_CASE({"base64 encode 768 KiB", kBytes, CoreEncode, PeerEncode});
BENCH_CASE({"base64 decode 1 MiB text", kText, CoreDecode, PeerDecode});

}  // namespace
