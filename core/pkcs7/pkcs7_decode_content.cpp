// The content: read in chunks from the message (or the detached content
// stream), decrypted, digested and written out.
#include "core/cipher/des.h"
#include "core/cipher/rc4.h"
#include "core/pkcs7/pkcs7_decode_state.h"
#include "core/toolkit/wipe.h"

namespace pkcs7_decode {
namespace {

struct ContentCipher {
    int cipher = kCipherNotSet;  // kCipherNotSet: the bytes pass as they are
    DesCbcContext des;
    Des3CbcContext des3;
    Rc4Context rc4;
    ~ContentCipher()
    {
        FillBytes(&des, 0, sizeof des);
        FillBytes(&des3, 0, sizeof des3);
        FillBytes(&rc4, 0, sizeof rc4);
    }
    void Start(const DecodeState& state)
    {
        cipher = *state.contentCipher;
        switch (cipher) {
        case kCipherDes: InitDesCbc(&des, state.transported, state.iv, 0); break;
        case kCipherTripleDes: InitDes3Cbc(&des3, state.transported, state.iv, 0); break;
        case kCipherRc4: InitRc4(&rc4, state.transported, state.transportedLength); break;
        default: cipher = kCipherNotSet; break;
        }
    }
    bool Decrypt(unsigned char* data, std::size_t length)
    {
        switch (cipher) {
        case kCipherDes: return UpdateDesCbc(&des, data, data, length) == 0;
        case kCipherTripleDes: return UpdateDes3Cbc(&des3, data, data, length) == 0;
        case kCipherRc4: CryptRc4(&rc4, data, length); return true;
        default: return true;
        }
    }
    bool Padded() const { return cipher == kCipherDes || cipher == kCipherTripleDes; }
};

bool WriteContent(DataStream* output, const unsigned char* data, std::size_t length)
{
    if (!output || length == 0) return true;
    std::size_t count = 0;
    const int result = WriteStream(output, data, length, &count);
    // In the base64 modes the count is of characters, not of bytes.
    return result == kStreamSuccess && (output->transferMode != kTransferRaw || count == length);
}

// Up to wanted bytes, however the medium splits them; fewer only at its end.
std::size_t ReadAvailable(DataStream* stream, unsigned char* buffer, std::size_t wanted)
{
    std::size_t done = 0;
    while (done < wanted) {
        std::size_t got = 0;
        if (ReadStream(stream, buffer + done, wanted - done, &got) != kStreamSuccess || got == 0) break;
        done += got;
    }
    return done;
}

bool Digesting(const DecodeState& state)
{
    return !state.keyless && (*state.outerType == kOuterSigned || *state.outerType == kOuterSignedAndEnveloped);
}

// Key-less decoding starts no digest, detached content included.
void DigestChunk(DecodeState* state, const unsigned char* data, std::size_t length)
{
    if (!state->digestsStarted) return;
    for (std::size_t i = 0; i < state->digestCount; ++i) UpdateDigest(&state->digests[i], data, length);
}

Pkcs7Result ProcessDetached(DecodeState* state, unsigned char* buffer)
{
    if (!state->detached) return Pkcs7Result::NoDetachedContent;
    if (StartStream(state->detached, kOpenRead) != kStreamSuccess) return Pkcs7Result::DetachedNotReadable;
    std::size_t got;
    do {
        got = ReadAvailable(state->detached, buffer, kPkcs7ContentChunkSize);
        DigestChunk(state, buffer, got);
    } while (got == kPkcs7ContentChunkSize);
    return Pkcs7Result::Done;
}

}  // namespace

Pkcs7Result ProcessContent(DecodeState* state)
{
    if (Digesting(*state)) {
        for (std::size_t i = 0; i < state->digestCount; ++i) InitDigest(&state->digests[i], state->digestTypes[i]);
        state->digestsStarted = true;
    }
    WipedHeapBuffer buffer(kPkcs7ContentChunkSize);
    if (!buffer.bytes) return Pkcs7Result::NoMemory;

    Pkcs7Result result = Pkcs7Result::Done;
    if (state->detachedSignature) {
        result = ProcessDetached(state, buffer.bytes);
    } else {
        ContentCipher cipher;
        const bool decrypting = !state->keyless && (*state->outerType == kOuterEnveloped ||
                                                    *state->outerType == kOuterSignedAndEnveloped);
        if (decrypting) cipher.Start(*state);
        if (cipher.Padded() && (state->contentLength == 0 || state->contentLength % 8 != 0))
            return Pkcs7Result::BadStructure;
        std::uint64_t remaining = state->contentLength;
        while (remaining > 0) {
            std::size_t length =
                remaining < kPkcs7ContentChunkSize ? static_cast<std::size_t>(remaining) : kPkcs7ContentChunkSize;
            // A message that ends before its content does is damaged, not done.
            if (!ReadBytes(&state->reader, buffer.bytes, length)) return Pkcs7Result::BadStructure;
            remaining -= length;
            if (!cipher.Decrypt(buffer.bytes, length)) return Pkcs7Result::BadStructure;
            if (remaining == 0 && cipher.Padded() && !RemoveBlockPadding(buffer.bytes, &length))
                return Pkcs7Result::BadStructure;
            DigestChunk(state, buffer.bytes, length);
            if (!WriteContent(state->output, buffer.bytes, length)) return Pkcs7Result::ShortWrite;
        }
    }
    if (result != Pkcs7Result::Done) return result;
    for (std::size_t i = 0; state->digestsStarted && i < state->digestCount; ++i) {
        std::size_t length = 0;
        FinalDigest(&state->digests[i], state->digestValues[i], &length);
    }
    return Pkcs7Result::Done;
}

}  // namespace pkcs7_decode
