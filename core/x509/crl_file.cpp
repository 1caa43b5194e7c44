#include "core/x509/crl_file.h"

#include <cstdio>
#include <cstring>

#include "core/der/der_stream.h"
#include "core/der/oid.h"
#include "core/io/text_files.h"
#include "core/rsa/digestinfo_sign.h"
#include "core/text/datetime.h"
#include "core/hash/digest.h"

namespace {

// Stream tag numbers (core/der/der_stream.h).
enum : int {
    kStreamTagBoolean = 1,
    kStreamTagInteger = 2,
    kStreamTagBitString = 3,
    kStreamTagOctetString = 4,
    kStreamTagOid = 6,
    kStreamTagEnumerated = 10,
    kStreamTagSequence = 16,
    kStreamTagUTCTime = 23,
    kStreamTagContext0 = 160,
    kStreamTagKeyIdentifier = 128,  // [0] primitive
    kStreamTagAuthorityIssuer = 1,  // [1]
    kStreamTagAuthoritySerial = 2,  // [2]
    kStreamTagDirectoryName = 4,    // [4]
};

enum : std::size_t { kOidWorkSize = 32, kCopyPiece = 23, kDigestPiece = 128 };

std::FILE* FileOf(DataStream* stream)
{
    if (!stream || stream->kind != kStreamFile || !stream->state) return nullptr;
    FileStreamState* file = static_cast<FileStreamState*>(stream->state);
    return file->status == kFileOpen ? file->handle : nullptr;
}

long Tell(DataStream* stream)
{
    std::FILE* file = FileOf(stream);
    return file ? std::ftell(file) : -1;
}

bool SeekTo(DataStream* stream, long position)
{
    std::FILE* file = FileOf(stream);
    return file && std::fseek(file, position, SEEK_SET) == 0;
}

// Opens a raw file stream for reading or writing.
int OpenFileStream(DataStream* stream, const char* name, std::uint32_t mode)
{
    std::memset(stream, 0, sizeof *stream);
    if (OpenStream(stream, kStreamFile, kTransferRaw) != kStreamSuccess) return kCRLFileFailed;
    if (SetStreamFile(stream, name) != kStreamSuccess || StartStream(stream, mode) != kStreamSuccess) {
        CloseStream(stream);
        return kCRLFileFailed;
    }
    return kCRLSuccess;
}

// A header inside [position, end); the element must end by end.
int Header(DataStream* stream, long end, int* tag, std::size_t* length)
{
    long start = Tell(stream);
    if (start < 0 || start >= end) return kCRLStructure;
    if (ReadDERTagLength(stream, tag, length) == 0) return kCRLHeaderFailed;
    long here = Tell(stream);
    if (here < 0 || *length > static_cast<unsigned long>(end - here)) return kCRLStructure;
    return kCRLSuccess;
}

// A header of the wanted tag; the content's end goes to contentEnd.
int Expect(DataStream* stream, int wanted, long end, long* contentEnd)
{
    int tag = 0;
    std::size_t length = 0;
    int result = Header(stream, end, &tag, &length);
    if (result != kCRLSuccess) return result;
    if (tag != wanted) return kCRLStructure;
    *contentEnd = Tell(stream) + static_cast<long>(length);
    return kCRLSuccess;
}

int ReadExactly(DataStream* stream, unsigned char* buffer, std::size_t length)
{
    while (length > 0) {
        std::size_t count = 0;
        if (ReadStream(stream, buffer, length, &count) != kStreamSuccess || count == 0 || count > length)
            return kCRLHeaderFailed;
        buffer += count;
        length -= count;
    }
    return kCRLSuccess;
}

// A primitive value of the tag into buffer (capacity bytes, one kept for a
// NUL); dropLeadingZero drops one leading 00 first.
int Value(DataStream* stream, int wanted, long end, unsigned char* buffer, std::size_t capacity, std::size_t* length,
          bool dropLeadingZero = false)
{
    long contentEnd = 0;
    int result = Expect(stream, wanted, end, &contentEnd);
    if (result != kCRLSuccess) return result;
    std::size_t size = static_cast<std::size_t>(contentEnd - Tell(stream));
    if (dropLeadingZero && size > 1) {
        unsigned char first = 0;
        if ((result = ReadExactly(stream, &first, 1)) != kCRLSuccess) return result;
        if (first != 0) {
            if (capacity < 2) return kCRLArgument;
            buffer[0] = first;
            ++buffer;
            --capacity;
            *length = 1;
        } else {
            *length = 0;
        }
        --size;
    } else {
        *length = 0;
    }
    if (size >= capacity) return kCRLArgument;
    if ((result = ReadExactly(stream, buffer, size)) != kCRLSuccess) return result;
    buffer[size] = 0;
    *length += size;
    return kCRLSuccess;
}

int Skip(DataStream* stream, long to)
{
    long here = Tell(stream);
    if (here < 0 || to < here) return kCRLStructure;
    return SkipStreamBytes(stream, static_cast<std::size_t>(to - here)) == 1 ? kCRLSuccess : kCRLHeaderFailed;
}

// A UTCTime, checked, into a kCRLDateSize buffer.
int DateValue(DataStream* stream, long end, char* date)
{
    std::size_t length = 0;
    int result = Value(stream, kStreamTagUTCTime, end, reinterpret_cast<unsigned char*>(date), kCRLMaxDateLength + 1, &length);
    if (result != kCRLSuccess) return result;
    return CheckUTCTimeText(date) == 0 ? kCRLSuccess : kCRLBadDate;
}

// The object code of an extension's OID.
int ExtensionCode(DataStream* stream, long end, int* code)
{
    unsigned char oid[kOidWorkSize];
    std::size_t length = 0;
    int result = Value(stream, kStreamTagOid, end, oid, sizeof oid, &length);
    if (result == kCRLArgument) {
        *code = -1;  // longer than any identifier we know
        return Skip(stream, end) == kCRLSuccess ? kCRLSuccess : kCRLStructure;
    }
    if (result != kCRLSuccess) return result;
    *code = OIDToBagType(oid, length);
    return kCRLSuccess;
}

// An optional critical BOOLEAN before an extension's OCTET STRING.
int SkipCritical(DataStream* stream, long end)
{
    long start = Tell(stream);
    int tag = 0;
    std::size_t length = 0;
    int result = Header(stream, end, &tag, &length);
    if (result != kCRLSuccess) return result;
    if (tag == kStreamTagBoolean) return Skip(stream, Tell(stream) + static_cast<long>(length));
    return SeekTo(stream, start) ? kCRLSuccess : kCRLHeaderFailed;
}

int ReadAuthorityKeyId(DataStream* stream, long end, NameTable* authorityIssuer, ByteBuffer* authoritySerial)
{
    long octetsEnd = 0, keyIdEnd = 0;
    int result = Expect(stream, kStreamTagOctetString, end, &octetsEnd);
    if (result != kCRLSuccess || (result = Expect(stream, kStreamTagSequence, octetsEnd, &keyIdEnd)) != kCRLSuccess)
        return result;
    if (keyIdEnd != octetsEnd) return kCRLStructure;
    while (Tell(stream) < keyIdEnd) {
        int tag = 0;
        std::size_t length = 0;
        long start = Tell(stream);
        if ((result = Header(stream, keyIdEnd, &tag, &length)) != kCRLSuccess) return result;
        long elementEnd = Tell(stream) + static_cast<long>(length);
        if (tag == kStreamTagKeyIdentifier) {
            result = Skip(stream, elementEnd);
        } else if (tag == kStreamTagAuthorityIssuer) {
            long nameEnd = 0;
            if ((result = Expect(stream, kStreamTagDirectoryName, elementEnd, &nameEnd)) != kCRLSuccess) return result;
            if (nameEnd != elementEnd || ReadName(stream, authorityIssuer) == 0) return kCRLStructure;
        } else if (tag == kStreamTagAuthoritySerial) {
            // The implicit tag carries the INTEGER's content.
            if (!SeekTo(stream, start)) return kCRLHeaderFailed;
            result = Value(stream, kStreamTagAuthoritySerial, keyIdEnd, authoritySerial->pointer, kCRLNumberSize,
                           &authoritySerial->length, true);
        } else {
            return kCRLStructure;
        }
        if (result != kCRLSuccess) return result;
        if (Tell(stream) != elementEnd) return kCRLStructure;
    }
    return Tell(stream) == end ? kCRLSuccess : kCRLStructure;
}

int ReadCRLNumber(DataStream* stream, long end, ByteBuffer* crlNumber)
{
    long octetsEnd = 0;
    int result = Expect(stream, kStreamTagOctetString, end, &octetsEnd);
    if (result != kCRLSuccess) return result;
    result = Value(stream, kStreamTagInteger, octetsEnd, crlNumber->pointer, kCRLNumberSize, &crlNumber->length, true);
    if (result != kCRLSuccess) return result;
    return Tell(stream) == end ? kCRLSuccess : kCRLStructure;
}

int ReadCRLExtensions(DataStream* stream, long end, NameTable* authorityIssuer, ByteBuffer* authoritySerial,
                      ByteBuffer* crlNumber)
{
    long listEnd = 0;
    int result = Expect(stream, kStreamTagSequence, end, &listEnd);
    if (result != kCRLSuccess) return result;
    if (listEnd != end) return kCRLStructure;
    while (Tell(stream) < listEnd) {
        long extensionEnd = 0;
        int code = -1;
        if ((result = Expect(stream, kStreamTagSequence, listEnd, &extensionEnd)) != kCRLSuccess ||
            (result = ExtensionCode(stream, extensionEnd, &code)) != kCRLSuccess ||
            (result = SkipCritical(stream, extensionEnd)) != kCRLSuccess)
            return result;
        if (code == kObjAuthorityKeyId) {
            result = ReadAuthorityKeyId(stream, extensionEnd, authorityIssuer, authoritySerial);
        } else if (code == kObjCrlNumber) {
            result = ReadCRLNumber(stream, extensionEnd, crlNumber);
        } else {
            long octetsEnd = 0;
            if ((result = Expect(stream, kStreamTagOctetString, extensionEnd, &octetsEnd)) == kCRLSuccess)
                result = Skip(stream, octetsEnd);
        }
        if (result != kCRLSuccess) return result;
        if (Tell(stream) != extensionEnd) return kCRLStructure;
    }
    return kCRLSuccess;
}

struct Region {
    long start;
    long size;
};

struct CRLWalk {
    long signedStart = 0;
    long signedSize = 0;
    int algorithm = -1;
    Region regions[3] = {};  // thisUpdate, nextUpdate, revokedCertificates
    unsigned char signature[kCRLSignatureSize + 2] = {};  // unused-bits byte and NUL
    std::size_t signatureLength = 0;
};

int WalkTBSCertList(DataStream* stream, long end, CRLWalk* walk, NameTable* crlIssuer, NameTable* authorityIssuer,
                    ByteBuffer* authoritySerial, ByteBuffer* crlNumber)
{
    int tag = 0;
    std::size_t length = 0;
    long start = Tell(stream);
    int result = Header(stream, end, &tag, &length);
    if (result != kCRLSuccess) return result;
    if (tag == kStreamTagInteger) {
        if ((result = Skip(stream, Tell(stream) + static_cast<long>(length))) != kCRLSuccess) return result;
    } else if (tag == kStreamTagSequence) {
        if (!SeekTo(stream, start)) return kCRLHeaderFailed;  // version 1: no version field
    } else {
        return kCRLStructure;
    }
    if (ReadAlgorithmId(stream, &walk->algorithm) == 0 || Tell(stream) > end) return kCRLStructure;
    if (ReadName(stream, crlIssuer) == 0 || Tell(stream) > end) return kCRLStructure;

    char date[kCRLDateSize];
    walk->regions[0].start = Tell(stream);
    if ((result = DateValue(stream, end, date)) != kCRLSuccess) return result;
    walk->regions[0].size = Tell(stream) - walk->regions[0].start;

    bool revokedSeen = false;
    while (Tell(stream) < end) {
        start = Tell(stream);
        if ((result = Header(stream, end, &tag, &length)) != kCRLSuccess) return result;
        long elementEnd = Tell(stream) + static_cast<long>(length);
        if (tag == kStreamTagUTCTime && walk->regions[1].size == 0 && !revokedSeen && start == walk->regions[0].start +
                                                                                       walk->regions[0].size) {
            if (!SeekTo(stream, start)) return kCRLHeaderFailed;
            if ((result = DateValue(stream, end, date)) != kCRLSuccess) return result;
            walk->regions[1] = Region{start, Tell(stream) - start};
        } else if (tag == kStreamTagSequence && !revokedSeen) {
            revokedSeen = true;
            walk->regions[2] = Region{start, elementEnd - start};
            if ((result = Skip(stream, elementEnd)) != kCRLSuccess) return result;
        } else if (tag == kStreamTagContext0 && elementEnd == end) {
            if ((result = ReadCRLExtensions(stream, elementEnd, authorityIssuer, authoritySerial, crlNumber)) !=
                kCRLSuccess)
                return result;
        } else {
            return kCRLStructure;
        }
    }
    return Tell(stream) == end ? kCRLSuccess : kCRLStructure;
}

int WalkCertificateList(DataStream* stream, long fileLength, CRLWalk* walk, NameTable* crlIssuer,
                        NameTable* authorityIssuer, ByteBuffer* authoritySerial, ByteBuffer* crlNumber)
{
    long outerEnd = 0, tbsEnd = 0;
    int result = Expect(stream, kStreamTagSequence, fileLength, &outerEnd);
    if (result != kCRLSuccess) return result;
    if (outerEnd != fileLength) return kCRLStructure;  // bytes after the CRL
    walk->signedStart = Tell(stream);
    if ((result = Expect(stream, kStreamTagSequence, outerEnd, &tbsEnd)) != kCRLSuccess) return result;
    walk->signedSize = tbsEnd - walk->signedStart;
    result = WalkTBSCertList(stream, tbsEnd, walk, crlIssuer, authorityIssuer, authoritySerial, crlNumber);
    if (result != kCRLSuccess) return result;

    int outerAlgorithm = -2;
    if (ReadAlgorithmId(stream, &outerAlgorithm) == 0 || Tell(stream) > outerEnd) return kCRLStructure;
    if (outerAlgorithm != walk->algorithm) return kCRLAlgorithmMismatch;
    result = Value(stream, kStreamTagBitString, outerEnd, walk->signature, sizeof walk->signature,
                   &walk->signatureLength);
    if (result != kCRLSuccess) return result;
    return Tell(stream) == outerEnd ? kCRLSuccess : kCRLStructure;
}

int CopyRegions(DataStream* source, const Region* regions, const char* scratchFile)
{
    DataStream out;
    if (OpenFileStream(&out, scratchFile, kOpenWrite) != kCRLSuccess) return kCRLFileFailed;
    int result = kCRLSuccess;
    for (int i = 0; i < 3 && result == kCRLSuccess; ++i) {
        if (regions[i].size == 0) continue;
        if (!SeekTo(source, regions[i].start)) {
            result = kCRLHeaderFailed;
            break;
        }
        long left = regions[i].size;
        while (left > 0) {
            unsigned char piece[kCopyPiece];
            std::size_t wanted = left < static_cast<long>(sizeof piece) ? static_cast<std::size_t>(left) : sizeof piece;
            std::size_t count = 0;
            if (ReadExactly(source, piece, wanted) != kCRLSuccess ||
                WriteStream(&out, piece, wanted, &count) != kStreamSuccess || count != wanted) {
                result = kCRLFileFailed;
                break;
            }
            left -= static_cast<long>(wanted);
        }
    }
    if (FlushStream(&out) != kStreamSuccess && result == kCRLSuccess) result = kCRLFileFailed;
    CloseStream(&out);
    // A half-written scratch file does not survive.
    if (result != kCRLSuccess) std::remove(scratchFile);
    return result;
}

}  // namespace

int CheckCRLFileSignature(DataStream* stream, int algorithm, long start, std::size_t length,
                          const RsaPublicKey* caKey, const unsigned char* signature, std::size_t signatureLength)
{
    std::uint32_t digestType = SignatureDigestType(algorithm);
    long remembered = Tell(stream);
    if (digestType == 0 || !caKey || !signature || remembered < 0 || !SeekTo(stream, start)) return 0;
    DigestContext context;
    int ok = InitDigest(&context, digestType) == 0;
    unsigned char piece[kDigestPiece];
    while (ok && length > 0) {
        std::size_t wanted = length < sizeof piece ? length : sizeof piece;
        ok = ReadExactly(stream, piece, wanted) == kCRLSuccess && UpdateDigest(&context, piece, wanted) == 0;
        length -= wanted;
    }
    unsigned char digest[kMaxDigestLength];
    std::size_t digestLength = 0;
    if (FinalDigest(&context, digest, &digestLength) != 0) ok = 0;
    std::size_t verified = 0;
    // The BIT STRING's unused-bits byte comes first.
    if (ok && signatureLength > 1 && signature[0] == 0) {
        DigestInfoWork work;
        verified = VerifyDigestInfoOfDigest(&work, algorithm, digest, digestLength, caKey, signature + 1,
                                            signatureLength - 1);
    }
    FillBytes(digest, 0, sizeof digest);
    if (!SeekTo(stream, remembered)) return 0;
    return static_cast<int>(verified);
}

int VerifyCRLFile(const char* crlFile, const char* scratchFile, NameTable* crlIssuer, NameTable* authorityIssuer,
                  ByteBuffer* authoritySerial, ByteBuffer* crlNumber, const RsaPublicKey* caKey,
                  int* signatureVerified)
{
    if (!crlFile || !*crlFile || !crlIssuer || !authorityIssuer || !authoritySerial || !authoritySerial->pointer ||
        !crlNumber || !crlNumber->pointer || !signatureVerified)
        return kCRLArgument;
    *signatureVerified = 0;
    authoritySerial->length = 0;
    authoritySerial->pointer[0] = 0;
    crlNumber->length = 0;
    crlNumber->pointer[0] = 0;

    DataStream stream;
    if (OpenFileStream(&stream, crlFile, kOpenRead) != kCRLSuccess) return kCRLFileFailed;
    long fileLength = GetFileLength(FileOf(&stream));
    CRLWalk walk;
    int result = fileLength < 0 ? kCRLHeaderFailed
                                : WalkCertificateList(&stream, fileLength, &walk, crlIssuer, authorityIssuer,
                                                      authoritySerial, crlNumber);
    if (result == kCRLSuccess && caKey &&
        CheckCRLFileSignature(&stream, walk.algorithm, walk.signedStart, static_cast<std::size_t>(walk.signedSize),
                              caKey, walk.signature, walk.signatureLength) != 0)
        *signatureVerified = 1;
    if (result == kCRLSuccess && scratchFile) result = CopyRegions(&stream, walk.regions, scratchFile);
    CloseStream(&stream);
    return result;
}

int OpenCRLFile(CRLFileReader* reader, const char* fileName)
{
    if (!reader || !fileName || !*fileName) return kCRLArgument;
    reader->inList = 0;
    reader->fileLength = -1;
    if (OpenFileStream(&reader->stream, fileName, kOpenRead) != kCRLSuccess) return kCRLFileFailed;
    reader->fileLength = GetFileLength(FileOf(&reader->stream));
    if (reader->fileLength < 0) {
        CloseStream(&reader->stream);
        return kCRLFileFailed;
    }
    return kCRLSuccess;
}

int CloseCRLFile(CRLFileReader* reader)
{
    if (reader && reader->stream.kind != kStreamClosed) CloseStream(&reader->stream);
    if (reader) reader->inList = 0;
    return kCRLSuccess;
}

namespace {

// Reports a code: the reader is closed.
int Fail(CRLFileReader* reader, int code)
{
    CloseCRLFile(reader);
    return code;
}

int ReaderState(CRLFileReader* reader)
{
    if (!reader || reader->stream.kind == kStreamClosed || !reader->stream.state) return kCRLNoStream;
    if (!FileOf(&reader->stream) || reader->stream.openMode != kOpenRead) return kCRLFileFailed;
    return kCRLSuccess;
}

// From the start: thisUpdate and the nextUpdate when present.
int ReadDates(CRLFileReader* reader, char* thisUpdate, char* nextUpdate)
{
    DataStream* stream = &reader->stream;
    if (!SeekTo(stream, 0)) return kCRLHeaderFailed;
    nextUpdate[0] = 0;
    int result = DateValue(stream, reader->fileLength, thisUpdate);
    if (result != kCRLSuccess || Tell(stream) == reader->fileLength) return result;
    long start = Tell(stream);
    int tag = 0;
    std::size_t length = 0;
    if ((result = Header(stream, reader->fileLength, &tag, &length)) != kCRLSuccess) return result;
    if (!SeekTo(stream, start)) return kCRLHeaderFailed;
    if (tag == kStreamTagUTCTime) return DateValue(stream, reader->fileLength, nextUpdate);
    return tag == kStreamTagSequence ? kCRLSuccess : kCRLStructure;
}

int EnterList(CRLFileReader* reader)
{
    char thisUpdate[kCRLDateSize], nextUpdate[kCRLDateSize];
    int result = ReadDates(reader, thisUpdate, nextUpdate);
    if (result != kCRLSuccess) return result;
    if (Tell(&reader->stream) == reader->fileLength) return kCRLNoList;
    long listEnd = 0;
    if ((result = Expect(&reader->stream, kStreamTagSequence, reader->fileLength, &listEnd)) != kCRLSuccess) return result;
    if (listEnd != reader->fileLength) return kCRLStructure;
    reader->inList = 1;
    return kCRLSuccess;
}

int ReadReason(DataStream* stream, long end, unsigned char* reason)
{
    long listEnd = 0;
    int result = Expect(stream, kStreamTagSequence, end, &listEnd);
    if (result != kCRLSuccess) return result;
    if (listEnd != end) return kCRLStructure;
    while (Tell(stream) < listEnd) {
        long extensionEnd = 0, octetsEnd = 0;
        int code = -1;
        if ((result = Expect(stream, kStreamTagSequence, listEnd, &extensionEnd)) != kCRLSuccess ||
            (result = ExtensionCode(stream, extensionEnd, &code)) != kCRLSuccess ||
            (result = SkipCritical(stream, extensionEnd)) != kCRLSuccess ||
            (result = Expect(stream, kStreamTagOctetString, extensionEnd, &octetsEnd)) != kCRLSuccess)
            return result;
        if (code == kObjReasonCode) {
            std::size_t length = 0;
            result = Value(stream, kStreamTagEnumerated, octetsEnd, reason, kCRLReasonSize, &length);
        } else {
            result = Skip(stream, octetsEnd);
        }
        if (result != kCRLSuccess) return result;
        if (Tell(stream) != octetsEnd || octetsEnd != extensionEnd) return kCRLStructure;
    }
    return kCRLSuccess;
}

}  // namespace

int ReadCRLFileDates(CRLFileReader* reader, char* thisUpdate, char* nextUpdate)
{
    int result = ReaderState(reader);
    if (result != kCRLSuccess) return result == kCRLNoStream ? result : Fail(reader, result);
    if (!thisUpdate || !nextUpdate) return Fail(reader, kCRLArgument);
    result = ReadDates(reader, thisUpdate, nextUpdate);
    reader->inList = 0;  // the entries start again from the top
    return result == kCRLSuccess ? result : Fail(reader, result);
}

int NextCRLFileEntry(CRLFileReader* reader, ByteBuffer* serial, char* date, unsigned char* reason)
{
    int result = ReaderState(reader);
    if (result != kCRLSuccess) return result == kCRLNoStream ? result : Fail(reader, result);
    if (!serial || !serial->pointer || !date || !reason) return Fail(reader, kCRLArgument);
    if (!reader->inList && (result = EnterList(reader)) != kCRLSuccess) return Fail(reader, result);

    DataStream* stream = &reader->stream;
    if (Tell(stream) == reader->fileLength) {
        reader->inList = 0;
        return kCRLEndOfList;
    }
    reason[0] = 0;
    long entryEnd = 0;
    if ((result = Expect(stream, kStreamTagSequence, reader->fileLength, &entryEnd)) != kCRLSuccess ||
        (result = Value(stream, kStreamTagInteger, entryEnd, serial->pointer, kCRLSerialSize, &serial->length,
                        true)) != kCRLSuccess ||
        (result = DateValue(stream, entryEnd, date)) != kCRLSuccess)
        return Fail(reader, result);
    if (Tell(stream) < entryEnd && (result = ReadReason(stream, entryEnd, reason)) != kCRLSuccess)
        return Fail(reader, result);
    if (Tell(stream) != entryEnd) return Fail(reader, kCRLStructure);
    return kCRLSuccess;
}
