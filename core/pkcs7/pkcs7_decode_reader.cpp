// Bounded reads from the message stream, and the pieces of records that the
// decoder's parts share.
#include "core/der/der_reader.h"
#include "core/der/der_stream.h"
#include "core/pkcs7/pkcs7_decode_state.h"
#include "core/x509/certificate_parts.h"

namespace pkcs7_decode {

bool ReadHeader(MessageReader* reader, std::uint64_t end, Header* header)
{
    std::size_t size = ReadDERHeader(reader->stream, &header->identifier, &header->length);
    if (size == 0) return false;
    reader->position += size;
    header->size = size;
    header->end = reader->position + header->length;
    // An element must not reach past the one it lies in.
    return reader->position <= end && header->length <= end - reader->position;
}

bool ReadExpectedHeader(MessageReader* reader, std::uint64_t end, unsigned char identifier, Header* header)
{
    return ReadHeader(reader, end, header) && header->identifier == identifier;
}

bool ReadBytes(MessageReader* reader, unsigned char* out, std::size_t count)
{
    std::size_t done = 0;
    while (done < count) {
        std::size_t got = 0;
        if (ReadStream(reader->stream, out + done, count - done, &got) != kStreamSuccess || got == 0) return false;
        done += got;
    }
    reader->position += count;
    return true;
}

bool ReadRecord(MessageReader* reader, std::uint64_t end, unsigned char* buffer, ByteBuffer* whole)
{
    Header header;
    if (!ReadHeader(reader, end, &header)) return false;
    if (header.size + header.length > kPkcs7RecordBufferSize) return false;
    // The header again in front, in the form it came: a short form when it
    // had one length byte, else the same number of long-form bytes.
    buffer[0] = header.identifier;
    if (header.size == 2) {
        buffer[1] = static_cast<unsigned char>(header.length);
    } else {
        const std::size_t lengthBytes = header.size - 2;
        buffer[1] = static_cast<unsigned char>(0x80 | lengthBytes);
        for (std::size_t i = 0; i < lengthBytes; ++i)
            buffer[2 + i] = static_cast<unsigned char>(header.length >> (8 * (lengthBytes - 1 - i)));
    }
    if (!ReadBytes(reader, buffer + header.size, header.length)) return false;
    *whole = ByteBuffer{buffer, header.size + header.length};
    return true;
}

bool CertificateIssuerSerial(const ByteBuffer& certificate, IssuerSerial* out)
{
    return ReadCertificateIssuerAndSerial(certificate.pointer, certificate.length, &out->issuer, &out->serial);
}

bool SameIssuerSerial(const IssuerSerial& a, const ByteBuffer& issuer, const ByteBuffer& serial)
{
    return a.issuer.length == issuer.length && a.serial.length == serial.length &&
           CompareBytes(a.issuer.pointer, issuer.pointer, issuer.length) == 0 &&
           CompareBytes(a.serial.pointer, serial.pointer, serial.length) == 0;
}

bool RemoveBlockPadding(const unsigned char* data, std::size_t* length)
{
    if (*length == 0 || *length % 8 != 0) return false;
    const unsigned char count = data[*length - 1];
    if (count < 1 || count > 8) return false;
    for (std::size_t i = 1; i <= count; ++i)
        if (data[*length - i] != count) return false;
    *length -= count;
    return true;
}

const unsigned char* ContentDigest(const DecodeState* state, std::uint32_t digestType)
{
    for (std::size_t i = 0; i < state->digestCount; ++i)
        if (state->digestTypes[i] == digestType) return state->digestValues[i];
    return nullptr;
}

DecodeState::~DecodeState()
{
    FillBytes(transported, 0, sizeof transported);
    FillBytes(iv, 0, sizeof iv);
    FillBytes(digests, 0, sizeof digests);
}

}  // namespace pkcs7_decode
