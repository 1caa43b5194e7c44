#include "core/cipher/rc4.h"

int InitRc4(Rc4Context* context, const unsigned char* key, std::size_t keyLength)
{
    std::uint32_t* s = context->permutation;
    for (std::uint32_t k = 0; k < 256; ++k) s[k] = k;
    context->i = 0;
    context->j = 0;
    if (keyLength == 0 || key == nullptr) {
        // The identity permutation with i = j = 0 would still give a keystream;
        // a null cipher is the plainer thing to hand a caller that ignores us.
        for (std::uint32_t k = 0; k < 256; ++k) s[k] = 0;
        return kRc4KeyEmpty;
    }
    std::uint32_t m = 0;
    std::size_t p = 0;
    for (std::uint32_t k = 0; k < 256; ++k) {
        m = (m + s[k] + key[p]) & 0xff;
        std::uint32_t t = s[k];
        s[k] = s[m];
        s[m] = t;
        if (++p == keyLength) p = 0;
    }
    return kRc4KeyReady;
}

std::size_t CryptRc4(Rc4Context* context, unsigned char* buffer, std::size_t length)
{
    std::uint32_t* s = context->permutation;
    std::uint32_t i = context->i & 0xff, j = context->j & 0xff;
    for (std::size_t n = 0; n < length; ++n) {
        i = (i + 1) & 0xff;
        j = (j + s[i]) & 0xff;
        std::uint32_t t = s[i];
        s[i] = s[j];
        s[j] = t;
        buffer[n] ^= static_cast<unsigned char>(s[(s[i] + s[j]) & 0xff]);
    }
    context->i = i;
    context->j = j;
    return length;
}

std::size_t CryptRc4Copy(Rc4Context* context, unsigned char* out, const unsigned char* in, std::size_t length)
{
    if (out != in)
        for (std::size_t n = 0; n < length; ++n) out[n] = in[n];
    return CryptRc4(context, out, length);
}
