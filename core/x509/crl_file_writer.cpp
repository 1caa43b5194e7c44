#include "core/x509/crl_file_writer.h"

#include <cstring>
#include <initializer_list>
#include <vector>

#include "core/der/der_builder.h"
#include "core/der/oid.h"
#include "core/hash/digest.h"
#include "core/rsa/digestinfo_sign.h"
#include "core/text/datetime.h"
#include "core/x509/certificate.h"
#include "core/x509/certificate_parts.h"

namespace {

enum : int { kTagEnumerated = 10 };

enum : std::size_t {
    kEntryBufferSize = 128,  // one entry: serial, date and reason
    kCopyPiece = 65536,
    kHeadRoom = 256,         // a TBSCertList's fields besides the issuer
};

// Room that the fields around the list take, kept free under the DER cap.
const std::uint64_t kListCap = kDERMaxEncodedLength - 2 * kCRLIssuerSize - 2 * kHeadRoom;

// YYMMDDhhmmssZ, the one UTCTime form a CRL is written with.
bool IsWriterDate(const char* date)
{
    return date && std::strlen(date) == 13 && date[12] == 'Z' && CheckUTCTimeText(date) == 0;
}

bool IsReason(int reason) { return reason == kCRLNoReason || (reason >= 0 && reason <= 10 && reason != 7); }

bool WriteAll(DataStream* stream, const ByteBuffer& bytes)
{
    if (bytes.length == 0) return true;
    std::size_t written = 0;
    return WriteStream(stream, bytes.pointer, bytes.length, &written) == kStreamSuccess && written == bytes.length;
}

// Bytes of a file read in pieces: each goes to `take`; false when the file
// cannot be read or does not hold exactly `expected` bytes (any, for ~0).
template <class Take>
bool ReadPieces(const char* fileName, std::uint64_t expected, Take take)
{
    DataStream stream;
    if (OpenCRLFileStream(&stream, fileName, kOpenRead) != kCRLSuccess) return false;
    std::vector<unsigned char> piece(kCopyPiece);
    std::uint64_t total = 0;
    bool ok = true;
    for (;;) {
        std::size_t count = 0;
        int result = ReadStream(&stream, piece.data(), piece.size(), &count);
        if (result != kStreamSuccess || count == 0) break;
        total += count;
        if (!take(ByteBuffer{piece.data(), count})) {
            ok = false;
            break;
        }
    }
    CloseStream(&stream);
    return ok && (expected == ~static_cast<std::uint64_t>(0) || total == expected);
}

// head, the content of source and tail, written to a new file beside target
// that then replaces it. 100 or 109.
int WriteAroundContent(const char* source, const char* target, std::initializer_list<ByteBuffer> head,
                       const ByteBuffer& tail, std::uint64_t sourceLength)
{
    ReplacementFile replacement;
    if (!replacement.Create(target)) return kCRLFileFailed;
    DataStream out;
    if (OpenCRLFileStream(&out, replacement.name, kOpenWrite) != kCRLSuccess) return kCRLFileFailed;
    bool ok = true;
    for (const ByteBuffer& piece : head) ok = ok && WriteAll(&out, piece);
    ok = ok && ReadPieces(source, sourceLength, [&](const ByteBuffer& piece) { return WriteAll(&out, piece); });
    ok = ok && WriteAll(&out, tail);
    // The last buffered bytes count as much as the others.
    if (FlushStream(&out) != kStreamSuccess) ok = false;
    if (CloseStream(&out) != kStreamSuccess) ok = false;
    return ok && replacement.Commit() ? kCRLSuccess : kCRLFileFailed;
}

std::string SerialKey(const unsigned char* serial, std::size_t length)
{
    while (length > 1 && serial[0] == 0) {
        ++serial;
        --length;
    }
    return std::string(reinterpret_cast<const char*>(serial), length);
}

// revokedCertificate, built backwards into buffer.
ByteBuffer BuildEntry(unsigned char* buffer, std::size_t size, const unsigned char* serial, std::size_t serialLength,
                      const char* date, int reason)
{
    DERBuilder builder;
    InitDERBuilder(&builder, buffer, size);
    const std::uint64_t entryEnd = DERBuilderMark(&builder);
    if (reason != kCRLNoReason) {
        unsigned char oid[kOIDMaxLength];
        std::size_t oidLength = 0;
        if (ObjectCodeToOID(kObjReasonCode, oid, &oidLength) != 0) return ByteBuffer{nullptr, 0};
        unsigned char code = static_cast<unsigned char>(reason);
        const std::uint64_t extensionsEnd = DERBuilderMark(&builder);
        BuildDERPrimitive(&builder, kTagEnumerated, ByteBuffer{&code, 1});
        CloseDER(&builder, kTagOctetString, extensionsEnd);
        BuildDERPrimitive(&builder, kTagObjectId, ByteBuffer{oid, oidLength});
        CloseDER(&builder, kTagSequence, extensionsEnd);
        CloseDER(&builder, kTagSequence, extensionsEnd);
    }
    BuildDERPrimitive(&builder, kTagUTCTime,
                      ByteBuffer{reinterpret_cast<unsigned char*>(const_cast<char*>(date)), std::strlen(date)});
    BuildDERInteger(&builder, ByteBuffer{const_cast<unsigned char*>(serial), serialLength});
    CloseDER(&builder, kTagSequence, entryEnd);
    return builder.status == kDERBuildOk ? DERBuilderWritten(&builder) : ByteBuffer{nullptr, 0};
}

// Reports a failure that ends the writer.
int Abandon(CRLFileWriter* writer, int code)
{
    CloseCRLFileWriter(writer);
    return code;
}

}  // namespace

int OpenCRLFileWriter(CRLFileWriter* writer, const char* target)
{
    if (!writer || !target || !*target || std::strlen(target) >= sizeof writer->target) return kCRLArgument;
    CloseCRLFileWriter(writer);
    if (!writer->entriesFile.Create(target)) return kCRLFileFailed;
    if (OpenCRLFileStream(&writer->entries, writer->entriesFile.name, kOpenWrite) != kCRLSuccess)
        return Abandon(writer, kCRLFileFailed);
    std::strcpy(writer->target, target);
    return kCRLSuccess;
}

int CloseCRLFileWriter(CRLFileWriter* writer)
{
    if (!writer) return kCRLSuccess;
    if (writer->entries.kind != kStreamClosed) CloseStream(&writer->entries);
    writer->entriesFile.Discard();
    writer->target[0] = 0;
    writer->entriesLength = 0;
    writer->serials.clear();
    return kCRLSuccess;
}

int AddCRLFileEntry(CRLFileWriter* writer, const unsigned char* serial, std::size_t serialLength, const char* date,
                    int reason)
{
    if (!writer || writer->entries.kind == kStreamClosed) return kCRLNoStream;
    if (!serial || serialLength == 0 || serialLength > kCRLMaxWriterSerial || !IsWriterDate(date) || !IsReason(reason))
        return kCRLArgument;
    std::string key = SerialKey(serial, serialLength);
    if (writer->serials.count(key) != 0) return kCRLArgument;
    unsigned char buffer[kEntryBufferSize];
    ByteBuffer entry = BuildEntry(buffer, sizeof buffer, serial, serialLength, date, reason);
    if (!entry.pointer) return kCRLWriterEncoding;
    // The list must stay within what a CRL's lengths can carry.
    if (writer->entriesLength + entry.length > kListCap) return kCRLArgument;
    if (!WriteAll(&writer->entries, entry)) return Abandon(writer, kCRLFileFailed);
    writer->entriesLength += entry.length;
    writer->serials.insert(std::move(key));
    return kCRLSuccess;
}

int SignCRLFile(CRLFileWriter* writer, const unsigned char* issuerCertificate, std::size_t issuerLength,
                const RsaPrivateKey* key, const char* thisUpdate, const char* nextUpdate, int algorithm)
{
    if (!writer || writer->entries.kind == kStreamClosed) return kCRLNoStream;
    const bool hasNext = nextUpdate && *nextUpdate;
    const std::uint32_t digestType = SignatureDigestType(algorithm);
    if (!key || digestType == 0 || !IsWriterDate(thisUpdate) || (hasNext && !IsWriterDate(nextUpdate)))
        return kCRLArgument;
    RsaPublicKey issuerKey;
    ByteBuffer subject = {nullptr, 0};
    if (!issuerCertificate || !DecodeCertificateKey(issuerCertificate, issuerLength, &issuerKey, nullptr, nullptr) ||
        !ReadCertificateSubjectView(issuerCertificate, issuerLength, &subject) || subject.length > kCRLIssuerSize)
        return kCRLIssuerCertificate;

    // The entries reach the disk before they are read back.
    if (FlushStream(&writer->entries) != kStreamSuccess) return Abandon(writer, kCRLFileFailed);

    // TBSCertList, its list left to follow the buffer.
    std::vector<unsigned char> headBuffer(subject.length + kHeadRoom);
    DERBuilder tbs;
    InitDERBuilder(&tbs, headBuffer.data(), headBuffer.size());
    const std::uint64_t tbsEnd = DERBuilderMark(&tbs);
    FollowDER(&tbs, writer->entriesLength);
    if (writer->entriesLength > 0) CloseDER(&tbs, kTagSequence, tbsEnd);
    auto date = [](const char* text) {
        return ByteBuffer{reinterpret_cast<unsigned char*>(const_cast<char*>(text)), std::strlen(text)};
    };
    if (hasNext) BuildDERPrimitive(&tbs, kTagUTCTime, date(nextUpdate));
    BuildDERPrimitive(&tbs, kTagUTCTime, date(thisUpdate));
    BuildDERBytes(&tbs, subject);
    BuildDER(&tbs, [&](DERCursor* cursor) { return EncodeAlgorithmId(cursor, algorithm); });
    BuildDERSmallInteger(&tbs, 1);  // v2
    CloseDER(&tbs, kTagSequence, tbsEnd);
    if (tbs.status != kDERBuildOk) return Abandon(writer, kCRLWriterEncoding);
    const ByteBuffer tbsHead = DERBuilderWritten(&tbs);

    DigestContext context;
    if (InitDigest(&context, digestType) != 0 || UpdateDigest(&context, tbsHead.pointer, tbsHead.length) != 0)
        return Abandon(writer, kCRLWriterEncoding);
    bool digestOk = true;
    if (!ReadPieces(writer->entriesFile.name, writer->entriesLength, [&](const ByteBuffer& piece) {
            digestOk = digestOk && UpdateDigest(&context, piece.pointer, piece.length) == 0;
            return true;
        }))
        return Abandon(writer, kCRLFileFailed);
    unsigned char digest[kMaxDigestLength];
    std::size_t digestLength = 0;
    if (!digestOk || FinalDigest(&context, digest, &digestLength) != 0) return Abandon(writer, kCRLWriterEncoding);

    // The signature, checked with the certificate's key: a key of another
    // certificate would make a CRL no one can verify.
    unsigned char signature[1 + kRsaMaxModulusBytes] = {0};
    std::size_t signatureLength = 0;
    DigestInfoWork work;
    const bool signedOk =
        SignDigestInfoOfDigest(&work, algorithm, digest, digestLength, key, signature + 1, &signatureLength) != 0 &&
        VerifyDigestInfoOfDigest(&work, algorithm, digest, digestLength, &issuerKey, signature + 1,
                                 signatureLength) != 0;
    FillBytes(digest, 0, sizeof digest);
    if (!signedOk) return Abandon(writer, kCRLSignFailed);

    // signatureAlgorithm and signatureValue (its unused-bits byte first).
    unsigned char tailBuffer[kHeadRoom + sizeof signature];
    DERBuilder tail;
    InitDERBuilder(&tail, tailBuffer, sizeof tailBuffer);
    BuildDERPrimitive(&tail, kTagBitString, ByteBuffer{signature, 1 + signatureLength});
    BuildDER(&tail, [&](DERCursor* cursor) { return EncodeAlgorithmId(cursor, algorithm); });
    // The outer SEQUENCE's header over the TBSCertList and the tail.
    unsigned char outerBuffer[8];
    DERBuilder outer;
    InitDERBuilder(&outer, outerBuffer, sizeof outerBuffer);
    const std::uint64_t outerEnd = DERBuilderMark(&outer);
    FollowDER(&outer, DERBuilderLength(&tbs) + DERBuilderLength(&tail));
    CloseDER(&outer, kTagSequence, outerEnd);
    if (tail.status != kDERBuildOk || outer.status != kDERBuildOk) return Abandon(writer, kCRLWriterEncoding);

    int result = WriteAroundContent(writer->entriesFile.name, writer->target,
                                    {DERBuilderWritten(&outer), tbsHead}, DERBuilderWritten(&tail),
                                    writer->entriesLength);
    return Abandon(writer, result);
}

int PrependCRLFileHeader(const char* fileName, const unsigned char* header, std::size_t headerLength)
{
    if (!fileName || !*fileName || (!header && headerLength != 0)) return kCRLArgument;
    return WriteAroundContent(fileName, fileName, {ByteBuffer{const_cast<unsigned char*>(header), headerLength}},
                              ByteBuffer{nullptr, 0}, ~static_cast<std::uint64_t>(0));
}
