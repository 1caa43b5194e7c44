#include "core/x509/crl_file.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "core/der/der_reader.h"
#include "core/der/oid.h"
#include "core/hash/digest.h"
#include "core/rsa/digestinfo_sign.h"
#include "core/text/datetime.h"
#include "core/text/text.h"

using namespace der_reader;

namespace {

// Identifier bytes of the elements a CRL holds.
enum : unsigned char {
    kIdInteger = 0x02,
    kIdBitString = 0x03,
    kIdSequence = 0x30,
    kIdUTCTime = 0x17,
    kIdExtensions = 0xA0,       // [0] crlExtensions
    kIdKeyIdentifier = 0x80,    // [0] keyIdentifier
    kIdAuthorityIssuer = 0xA1,  // [1] authorityCertIssuer
    kIdAuthoritySerial = 0x82,  // [2] authorityCertSerialNumber
};

enum : int { kTagEnumerated = 10 };

// id-ce-deltaCRLIndicator (2.5.29.27): a delta CRL lists changes only.
const unsigned char kDeltaCRLIndicator[] = {0x55, 0x1D, 0x1B};

enum : std::size_t { kSignaturePiece = 65536 };

// --- values of elements taken whole ------------------------------------------

// An INTEGER's content, one leading 00 dropped when more bytes follow, into
// a buffer of `capacity` bytes with a NUL after it.
int IntegerValue(const ByteBuffer& content, unsigned char* buffer, std::size_t capacity, std::size_t* length)
{
    ByteBuffer value = content;
    if (value.length > 1 && value.pointer[0] == 0) {
        ++value.pointer;
        --value.length;
    }
    if (value.length >= capacity) return kCRLArgument;
    if (value.length) std::memcpy(buffer, value.pointer, value.length);
    buffer[value.length] = 0;
    *length = value.length;
    return kCRLSuccess;
}

// A UTCTime, checked, into a kCRLDateSize buffer.
int DateValue(DERCursor* cursor, char* date)
{
    ByteBuffer content;
    if (!ReadView(cursor, kTagUTCTime, &content)) return kCRLStructure;
    if (content.length > kCRLMaxDateLength) return kCRLArgument;
    std::memcpy(date, content.pointer, content.length);
    date[content.length] = 0;
    return CheckUTCTimeText(date) == 0 ? kCRLSuccess : kCRLBadDate;
}

int WholeDate(const ByteBuffer& whole, char* date)
{
    DERCursor cursor = Inside(whole);
    int result = DateValue(&cursor, date);
    return result == kCRLSuccess && !AtEnd(cursor) ? kCRLStructure : result;
}

// AlgorithmIdentifier { OID [, NULL] }; an identifier we do not know is -1.
int AlgorithmValue(const ByteBuffer& whole, int* code)
{
    DERCursor outer = Inside(whole), algorithm;
    ByteBuffer oid, parameters;
    bool hasNull = false;
    if (!Enter(&outer, kTagSequence, &algorithm) || !AtEnd(outer) || !ReadView(&algorithm, kTagObjectId, &oid) ||
        oid.length == 0 || oid.length > kAlgorithmIdWorkSize || !ReadOptional(&algorithm, kTagNull, &hasNull, &parameters) ||
        (hasNull && parameters.length != 0) || !AtEnd(algorithm))
        return kCRLStructure;
    *code = OIDToAlgorithm(oid.pointer, oid.length);
    return kCRLSuccess;
}

// Extension { OID, critical BOOLEAN DEFAULT FALSE, OCTET STRING }.
bool ReadExtension(DERCursor* list, ByteBuffer* oid, bool* critical, ByteBuffer* value)
{
    DERCursor extension;
    ByteBuffer flag = {nullptr, 0};
    bool present = false;
    if (!Enter(list, kTagSequence, &extension) || !ReadView(&extension, kTagObjectId, oid) ||
        !ReadOptional(&extension, kTagBoolean, &present, &flag) || (present && flag.length != 1) ||
        !ReadView(&extension, kTagOctetString, value) || !AtEnd(extension))
        return false;
    *critical = present && flag.pointer[0] != 0;
    return true;
}

bool IsDeltaIndicator(const ByteBuffer& oid)
{
    return oid.length == sizeof kDeltaCRLIndicator && CompareBytes(oid.pointer, kDeltaCRLIndicator, oid.length) == 0;
}

int AuthorityKeyIdValue(const ByteBuffer& value, CRLFileOutputs* out)
{
    DERCursor octets = Inside(value), keyId;
    if (!Enter(&octets, kTagSequence, &keyId) || !AtEnd(octets)) return kCRLStructure;
    while (!AtEnd(keyId)) {
        Element element;
        if (!ReadAny(&keyId, &element)) return kCRLStructure;
        const unsigned char identifier = element.whole.pointer[0];
        if (identifier == kIdKeyIdentifier) continue;
        if (identifier == kIdAuthorityIssuer) {
            // One directoryName [4] holding the Name.
            DERCursor names = Inside(element.content), directoryName;
            if (!Enter(&names, kTagContextConstructed + 4, &directoryName) || !AtEnd(names)) return kCRLStructure;
            if (DecodeName(&directoryName, out->authorityIssuer) == 0 || !AtEnd(directoryName)) return kCRLStructure;
        } else if (identifier == kIdAuthoritySerial) {
            int result = IntegerValue(element.content, out->authoritySerial->pointer, kCRLNumberSize,
                                      &out->authoritySerial->length);
            if (result != kCRLSuccess) return result;
        } else {
            return kCRLStructure;
        }
    }
    return kCRLSuccess;
}

int CRLNumberValue(const ByteBuffer& value, CRLFileOutputs* out)
{
    DERCursor octets = Inside(value);
    ByteBuffer number;
    if (!ReadView(&octets, kTagInteger, &number) || !AtEnd(octets)) return kCRLStructure;
    return IntegerValue(number, out->crlNumber->pointer, kCRLNumberSize, &out->crlNumber->length);
}

// crlExtensions [0] { SEQUENCE OF Extension }, whole.
int CRLExtensionsValue(const ByteBuffer& whole, CRLFileOutputs* out, bool* unprocessedCritical)
{
    DERCursor outer = Inside(whole), explicitTag, list;
    if (!Enter(&outer, kTagContextConstructed, &explicitTag) || !AtEnd(outer) ||
        !Enter(&explicitTag, kTagSequence, &list) || !AtEnd(explicitTag))
        return kCRLStructure;
    while (!AtEnd(list)) {
        ByteBuffer oid, value;
        bool critical = false;
        if (!ReadExtension(&list, &oid, &critical, &value)) return kCRLStructure;
        const int code = OIDToBagType(oid.pointer, oid.length);
        int result = kCRLSuccess;
        if (code == kObjAuthorityKeyId)
            result = AuthorityKeyIdValue(value, out);
        else if (code == kObjCrlNumber)
            result = CRLNumberValue(value, out);
        else if (critical || IsDeltaIndicator(oid))
            *unprocessedCritical = true;
        if (result != kCRLSuccess) return result;
    }
    return kCRLSuccess;
}

// revokedCertificate { serialNumber, revocationDate, crlEntryExtensions
// OPTIONAL }, whole. serial->pointer holds kCRLSerialSize bytes.
int RevokedEntryValue(const ByteBuffer& whole, ByteBuffer* serial, char* date, unsigned char* reason,
                      bool* unprocessedCritical)
{
    DERCursor outer = Inside(whole), entry;
    ByteBuffer number;
    if (!Enter(&outer, kTagSequence, &entry) || !AtEnd(outer) || !ReadView(&entry, kTagInteger, &number) ||
        number.length == 0)
        return kCRLStructure;
    int result = IntegerValue(number, serial->pointer, kCRLSerialSize, &serial->length);
    if (result != kCRLSuccess || (result = DateValue(&entry, date)) != kCRLSuccess) return result;
    reason[0] = 0;
    if (AtEnd(entry)) return kCRLSuccess;
    DERCursor extensions;
    if (!Enter(&entry, kTagSequence, &extensions) || !AtEnd(entry)) return kCRLStructure;
    while (!AtEnd(extensions)) {
        ByteBuffer oid, value;
        bool critical = false;
        if (!ReadExtension(&extensions, &oid, &critical, &value)) return kCRLStructure;
        if (OIDToBagType(oid.pointer, oid.length) == kObjReasonCode) {
            DERCursor octets = Inside(value);
            ByteBuffer code;
            if (!ReadView(&octets, kTagEnumerated, &code) || !AtEnd(octets)) return kCRLStructure;
            if (code.length >= kCRLReasonSize) return kCRLArgument;
            std::memcpy(reason, code.pointer, code.length);
            reason[code.length] = 0;
        } else if (critical) {
            *unprocessedCritical = true;
        }
    }
    return kCRLSuccess;
}

int VerifySignatureOfDigest(int algorithm, const unsigned char* digest, std::size_t digestLength,
                            const RsaPublicKey* caKey, const unsigned char* signature, std::size_t signatureLength)
{
    // The BIT STRING's unused-bits byte comes first.
    if (!signature || signatureLength < 2 || signature[0] != 0) return 0;
    DigestInfoWork work;
    return static_cast<int>(VerifyDigestInfoOfDigest(&work, algorithm, digest, digestLength, caKey, signature + 1,
                                                     signatureLength - 1));
}

// --- the pass over the whole CertificateList ---------------------------------

struct CRLPass {
    CRLWindow* window;
    const RsaPublicKey* caKey;
    CRLFileOutputs* out;
    const CRLEntryVisitor* visitor;
    DataStream* scratch;
    bool unprocessedCritical = false;
    unsigned char signature[kCRLSignatureSize + 1] = {};  // the BIT STRING's content
    std::size_t signatureLength = 0;
};

// The next header, which must be the identifier's and end by `end`.
int Expect(CRLWindow* window, unsigned char identifier, std::uint64_t end, CRLHeader* header)
{
    int result = PeekCRLHeader(window, header);
    if (result != kCRLSuccess) return result;
    if (header->identifier != identifier) return kCRLStructure;
    if (header->headerSize + static_cast<std::uint64_t>(header->length) > end - window->offset) return kCRLStructure;
    return kCRLSuccess;
}

int ExpectWhole(CRLWindow* window, unsigned char identifier, std::uint64_t end, std::size_t maxSize,
                ByteBuffer* whole)
{
    CRLHeader header;
    int result = Expect(window, identifier, end, &header);
    return result == kCRLSuccess ? TakeCRLElement(window, header, maxSize, whole) : result;
}

// A date element, copied to the scratch file when there is one.
int TakeDate(CRLPass* pass, std::uint64_t end, char* date)
{
    ByteBuffer whole;
    pass->window->copying = pass->scratch != nullptr;
    int result = ExpectWhole(pass->window, kIdUTCTime, end, kCRLMaxElementSize, &whole);
    pass->window->copying = false;
    return result == kCRLSuccess ? WholeDate(whole, date) : result;
}

int TakeRevokedList(CRLPass* pass, const CRLHeader& header)
{
    CRLWindow* window = pass->window;
    const std::uint64_t listEnd = window->offset + header.headerSize + header.length;
    window->copying = pass->scratch != nullptr;
    TakeCRLHeader(window, header);
    int result = kCRLSuccess;
    if (!pass->visitor) {
        result = PassCRLBytes(window, header.length);
    } else {
        unsigned char serialBytes[kCRLSerialSize];
        ByteBuffer serial = {serialBytes, 0};
        char date[kCRLDateSize];
        unsigned char reason[kCRLReasonSize];
        while (result == kCRLSuccess && window->offset < listEnd) {
            ByteBuffer whole;
            if ((result = ExpectWhole(window, kIdSequence, listEnd, kCRLMaxElementSize, &whole)) == kCRLSuccess &&
                (result = RevokedEntryValue(whole, &serial, date, reason, &pass->unprocessedCritical)) == kCRLSuccess)
                result = pass->visitor->onEntry(pass->visitor->context, serial, date, reason);
        }
    }
    window->copying = false;
    if (result != kCRLSuccess) pass->out->failedInList = 1;
    return result;
}

int TakeTBSCertList(CRLPass* pass, std::uint64_t tbsEnd)
{
    CRLWindow* window = pass->window;
    CRLFileOutputs* out = pass->out;
    CRLHeader header;
    ByteBuffer whole;
    // version: absent in a version 1 CRL, whose next element is a SEQUENCE.
    int result = PeekCRLHeader(window, &header);
    if (result != kCRLSuccess) return result;
    if (header.identifier == kIdInteger) {
        if ((result = ExpectWhole(window, kIdInteger, tbsEnd, kCRLMaxElementSize, &whole)) != kCRLSuccess) return result;
    } else if (header.identifier != kIdSequence) {
        return kCRLStructure;
    }
    if ((result = ExpectWhole(window, kIdSequence, tbsEnd, kCRLMaxElementSize, &whole)) != kCRLSuccess ||
        (result = AlgorithmValue(whole, &out->signatureAlgorithm)) != kCRLSuccess)
        return result;
    if (pass->caKey) StartCRLDigest(window, SignatureDigestType(out->signatureAlgorithm));

    if ((result = ExpectWhole(window, kIdSequence, tbsEnd, kCRLIssuerSize, &whole)) != kCRLSuccess) return result;
    DERCursor name = Inside(whole);
    if (DecodeName(&name, out->crlIssuer) == 0 || !AtEnd(name)) return kCRLStructure;
    if (out->issuerName) {
        std::memcpy(out->issuerName->pointer, whole.pointer, whole.length);
        out->issuerName->length = whole.length;
    }

    char date[kCRLDateSize];
    if ((result = TakeDate(pass, tbsEnd, out->thisUpdate ? out->thisUpdate : date)) != kCRLSuccess) return result;
    bool first = true, listSeen = false;
    while (window->offset < tbsEnd) {
        if ((result = PeekCRLHeader(window, &header)) != kCRLSuccess) return result;
        const std::uint64_t size = header.headerSize + static_cast<std::uint64_t>(header.length);
        if (size > tbsEnd - window->offset) return kCRLStructure;
        if (header.identifier == kIdUTCTime && first) {
            result = TakeDate(pass, tbsEnd, out->nextUpdate ? out->nextUpdate : date);
        } else if (header.identifier == kIdSequence && !listSeen) {
            listSeen = true;
            result = TakeRevokedList(pass, header);
        } else if (header.identifier == kIdExtensions && window->offset + size == tbsEnd) {
            if ((result = TakeCRLElement(window, header, kCRLMaxElementSize, &whole)) == kCRLSuccess)
                result = CRLExtensionsValue(whole, out, &pass->unprocessedCritical);
        } else {
            return kCRLStructure;
        }
        if (result != kCRLSuccess) return result;
        first = false;
    }
    return kCRLSuccess;
}

int TakeCertificateList(CRLPass* pass)
{
    CRLWindow* window = pass->window;
    CRLHeader header;
    int result = PeekCRLHeader(window, &header);
    if (result != kCRLSuccess) return result;
    if (header.identifier != kIdSequence) return kCRLStructure;
    TakeCRLHeader(window, header);
    const std::uint64_t outerEnd = window->offset + header.length;

    if ((result = Expect(window, kIdSequence, outerEnd, &header)) != kCRLSuccess) return result;
    const std::uint64_t tbsEnd = window->offset + header.headerSize + header.length;
    if (pass->caKey) BeginCRLSignedRegion(window, tbsEnd);
    TakeCRLHeader(window, header);
    if ((result = TakeTBSCertList(pass, tbsEnd)) != kCRLSuccess) return result;

    ByteBuffer whole;
    int outerAlgorithm = -2;
    if ((result = ExpectWhole(window, kIdSequence, outerEnd, kCRLMaxElementSize, &whole)) != kCRLSuccess ||
        (result = AlgorithmValue(whole, &outerAlgorithm)) != kCRLSuccess)
        return result;
    if (outerAlgorithm != pass->out->signatureAlgorithm) return kCRLAlgorithmMismatch;
    if ((result = ExpectWhole(window, kIdBitString, outerEnd, kCRLMaxElementSize, &whole)) != kCRLSuccess)
        return result;
    DERCursor bits = Inside(whole);
    ByteBuffer content;
    if (!ReadView(&bits, kTagBitString, &content)) return kCRLStructure;
    if (content.length > sizeof pass->signature) return kCRLArgument;
    std::memcpy(pass->signature, content.pointer, content.length);
    pass->signatureLength = content.length;
    // Nothing after the signature, in the list or in the file.
    if (window->offset != outerEnd || !CRLWindowAtEnd(window)) return kCRLStructure;
    return kCRLSuccess;
}

void ResetOutputs(CRLFileOutputs* out)
{
    out->authoritySerial->length = 0;
    out->authoritySerial->pointer[0] = 0;
    out->crlNumber->length = 0;
    out->crlNumber->pointer[0] = 0;
    if (out->issuerName) out->issuerName->length = 0;
    if (out->thisUpdate) out->thisUpdate[0] = 0;
    if (out->nextUpdate) out->nextUpdate[0] = 0;
    out->signatureAlgorithm = -1;
    out->signatureVerified = 0;
    out->failedInList = 0;
}

// The pass over an open CRL stream, with an optional scratch copy.
int PassOverCRL(DataStream* stream, const RsaPublicKey* caKey, CRLFileOutputs* out, const CRLEntryVisitor* visitor,
                DataStream* scratch)
{
    CRLWindow window;
    if (!InitCRLWindow(&window, stream)) return kCRLFileFailed;
    window.copy = scratch;
    CRLPass pass{&window, caKey, out, visitor, scratch};
    int result = TakeCertificateList(&pass);
    if (result == kCRLSuccess && scratch && window.copyFailed) result = kCRLFileFailed;
    if (result == kCRLSuccess && caKey) {
        unsigned char digest[kMaxDigestLength];
        std::size_t digestLength = 0;
        if (FinishCRLDigest(&window, digest, &digestLength) &&
            VerifySignatureOfDigest(out->signatureAlgorithm, digest, digestLength, caKey, pass.signature,
                                    pass.signatureLength) != 0)
            out->signatureVerified = 1;
        FillBytes(digest, 0, sizeof digest);
    }
    if (result == kCRLSuccess && pass.unprocessedCritical) result = kCRLCriticalExtension;
    return result;
}

bool OutputsUsable(const CRLFileOutputs* out)
{
    return out && out->crlIssuer && out->authorityIssuer && out->authoritySerial && out->authoritySerial->pointer &&
           out->crlNumber && out->crlNumber->pointer && (!out->issuerName || out->issuerName->pointer);
}

// --- helpers of CheckCRLFileSignature, which works by position ---------------

std::FILE* FileOf(DataStream* stream)
{
    if (!stream || stream->kind != kStreamFile || !stream->state) return nullptr;
    FileStreamState* file = static_cast<FileStreamState*>(stream->state);
    return file->status == kFileOpen ? file->handle : nullptr;
}

}  // namespace

int OpenCRLFileStream(DataStream* stream, const char* fileName, std::uint32_t mode)
{
    std::memset(stream, 0, sizeof *stream);
    if (!fileName || !*fileName || OpenStream(stream, kStreamFile, kTransferRaw) != kStreamSuccess)
        return kCRLFileFailed;
    if (SetStreamFile(stream, fileName) != kStreamSuccess || StartStream(stream, mode) != kStreamSuccess) {
        CloseStream(stream);
        return kCRLFileFailed;
    }
    return kCRLSuccess;
}

CRLFileOutputs CRLFileOutputsOver(NameTable* crlIssuer, NameTable* authorityIssuer, ByteBuffer* authoritySerial,
                                  ByteBuffer* crlNumber, ByteBuffer* issuerName, char* thisUpdate, char* nextUpdate)
{
    CRLFileOutputs outputs;
    outputs.crlIssuer = crlIssuer;
    outputs.authorityIssuer = authorityIssuer;
    outputs.authoritySerial = authoritySerial;
    outputs.crlNumber = crlNumber;
    outputs.issuerName = issuerName;
    outputs.thisUpdate = thisUpdate;
    outputs.nextUpdate = nextUpdate;
    return outputs;
}

CRLFileFields::~CRLFileFields()
{
    FreeItems(crlIssuer.slots, kNameSlots);
    FreeItems(authorityIssuer.slots, kNameSlots);
}

int ReadCRLFile(const char* crlFile, const RsaPublicKey* caKey, CRLFileOutputs* outputs,
                const CRLEntryVisitor* visitor)
{
    if (!crlFile || !*crlFile || !OutputsUsable(outputs) || (visitor && !visitor->onEntry)) return kCRLArgument;
    ResetOutputs(outputs);
    DataStream stream;
    if (OpenCRLFileStream(&stream, crlFile, kOpenRead) != kCRLSuccess) return kCRLFileFailed;
    int result = PassOverCRL(&stream, caKey, outputs, visitor, nullptr);
    CloseStream(&stream);
    return result;
}

int VerifyCRLFile(const char* crlFile, const char* scratchFile, NameTable* crlIssuer, NameTable* authorityIssuer,
                  ByteBuffer* authoritySerial, ByteBuffer* crlNumber, const RsaPublicKey* caKey,
                  int* signatureVerified)
{
    CRLFileOutputs outputs =
        CRLFileOutputsOver(crlIssuer, authorityIssuer, authoritySerial, crlNumber, nullptr, nullptr, nullptr);
    if (!crlFile || !*crlFile || !OutputsUsable(&outputs) || !signatureVerified) return kCRLArgument;
    ResetOutputs(&outputs);
    *signatureVerified = 0;

    DataStream stream, scratch;
    if (OpenCRLFileStream(&stream, crlFile, kOpenRead) != kCRLSuccess) return kCRLFileFailed;
    if (scratchFile && OpenCRLFileStream(&scratch, scratchFile, kOpenWrite) != kCRLSuccess) {
        CloseStream(&stream);
        return kCRLFileFailed;
    }
    int result = PassOverCRL(&stream, caKey, &outputs, nullptr, scratchFile ? &scratch : nullptr);
    CloseStream(&stream);
    if (scratchFile) {
        if (FlushStream(&scratch) != kStreamSuccess && result == kCRLSuccess) result = kCRLFileFailed;
        if (CloseStream(&scratch) != kStreamSuccess && result == kCRLSuccess) result = kCRLFileFailed;
        // A half-written scratch file does not survive.
        if (result != kCRLSuccess) std::remove(scratchFile);
    }
    *signatureVerified = outputs.signatureVerified;
    return result;
}

int CheckCRLFileSignature(DataStream* stream, int algorithm, long start, std::size_t length,
                          const RsaPublicKey* caKey, const unsigned char* signature, std::size_t signatureLength)
{
    std::FILE* file = FileOf(stream);
    const std::uint32_t digestType = SignatureDigestType(algorithm);
    const long remembered = file ? std::ftell(file) : -1;
    if (digestType == 0 || !caKey || !signature || remembered < 0 || std::fseek(file, start, SEEK_SET) != 0) return 0;
    DigestContext context;
    bool ok = InitDigest(&context, digestType) == 0;
    std::vector<unsigned char> piece(kSignaturePiece);
    while (ok && length > 0) {
        std::size_t wanted = length < piece.size() ? length : piece.size();
        std::size_t count = 0;
        ok = ReadStream(stream, piece.data(), wanted, &count) == kStreamSuccess && count == wanted &&
             UpdateDigest(&context, piece.data(), count) == 0;
        length -= wanted;
    }
    unsigned char digest[kMaxDigestLength];
    std::size_t digestLength = 0;
    if (FinalDigest(&context, digest, &digestLength) != 0) ok = false;
    int verified = ok ? VerifySignatureOfDigest(algorithm, digest, digestLength, caKey, signature, signatureLength) : 0;
    FillBytes(digest, 0, sizeof digest);
    if (std::fseek(file, remembered, SEEK_SET) != 0) return 0;
    return verified;
}

// --- the reader of scratch files ---------------------------------------------

int OpenCRLFile(CRLFileReader* reader, const char* fileName)
{
    if (!reader || !fileName || !*fileName) return kCRLArgument;
    reader->inList = 0;
    reader->listEnd = 0;
    if (OpenCRLFileStream(&reader->stream, fileName, kOpenRead) != kCRLSuccess) return kCRLFileFailed;
    if (!InitCRLWindow(&reader->window, &reader->stream)) {
        CloseStream(&reader->stream);
        return kCRLFileFailed;
    }
    return kCRLSuccess;
}

int CloseCRLFile(CRLFileReader* reader)
{
    if (!reader) return kCRLSuccess;
    if (reader->stream.kind != kStreamClosed) CloseStream(&reader->stream);
    reader->inList = 0;
    std::vector<unsigned char>().swap(reader->window.buffer);
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
    if (!FileOf(&reader->stream) || reader->stream.openMode != kOpenRead || reader->window.buffer.empty())
        return kCRLFileFailed;
    return kCRLSuccess;
}

// From the start of the file: thisUpdate and the nextUpdate when present.
int ReadDates(CRLFileReader* reader, char* thisUpdate, char* nextUpdate)
{
    if (FlushStream(&reader->stream) != kStreamSuccess || StartStream(&reader->stream, kOpenRead) != kStreamSuccess)
        return kCRLFileFailed;
    CRLWindow* window = &reader->window;
    RestartCRLWindow(window);
    nextUpdate[0] = 0;
    const std::uint64_t anywhere = ~static_cast<std::uint64_t>(0);
    ByteBuffer whole;
    int result = ExpectWhole(window, kIdUTCTime, anywhere, kCRLMaxElementSize, &whole);
    if (result != kCRLSuccess || (result = WholeDate(whole, thisUpdate)) != kCRLSuccess || CRLWindowAtEnd(window))
        return result;
    CRLHeader header;
    if ((result = PeekCRLHeader(window, &header)) != kCRLSuccess) return result;
    if (header.identifier == kIdUTCTime) {
        if ((result = TakeCRLElement(window, header, kCRLMaxElementSize, &whole)) != kCRLSuccess) return result;
        return WholeDate(whole, nextUpdate);
    }
    return header.identifier == kIdSequence ? kCRLSuccess : kCRLStructure;
}

// Past the dates and into the list, which must end the file.
int EnterList(CRLFileReader* reader)
{
    char thisUpdate[kCRLDateSize], nextUpdate[kCRLDateSize];
    int result = ReadDates(reader, thisUpdate, nextUpdate);
    if (result != kCRLSuccess) return result;
    CRLWindow* window = &reader->window;
    if (CRLWindowAtEnd(window)) return kCRLNoList;
    CRLHeader header;
    if ((result = PeekCRLHeader(window, &header)) != kCRLSuccess) return result;
    if (header.identifier != kIdSequence) return kCRLStructure;
    TakeCRLHeader(window, header);
    reader->listEnd = window->offset + header.length;
    reader->inList = 1;
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

    CRLWindow* window = &reader->window;
    if (window->offset == reader->listEnd) {
        if (!CRLWindowAtEnd(window)) return Fail(reader, kCRLStructure);
        reader->inList = 0;
        return kCRLEndOfList;
    }
    ByteBuffer whole;
    bool unprocessedCritical = false;
    if ((result = ExpectWhole(window, kIdSequence, reader->listEnd, kCRLMaxElementSize, &whole)) != kCRLSuccess ||
        (result = RevokedEntryValue(whole, serial, date, reason, &unprocessedCritical)) != kCRLSuccess)
        return Fail(reader, result);
    return unprocessedCritical ? Fail(reader, kCRLCriticalExtension) : kCRLSuccess;
}

int FindCRLFileEntry(CRLFileReader* reader, const unsigned char* serial, std::size_t serialLength, char* date,
                     unsigned char* reason)
{
    int result = ReaderState(reader);
    if (result != kCRLSuccess) return result == kCRLNoStream ? result : Fail(reader, result);
    if (!serial || serialLength == 0 || !date || !reason) return Fail(reader, kCRLArgument);
    if (serialLength > 1 && serial[0] == 0) {
        ++serial;
        --serialLength;
    }
    unsigned char bytes[kCRLSerialSize];
    ByteBuffer entry = {bytes, 0};
    reader->inList = 0;  // from the top
    while ((result = NextCRLFileEntry(reader, &entry, date, reason)) == kCRLSuccess)
        if (entry.length == serialLength && CompareBytes(entry.pointer, serial, serialLength) == 0) return kCRLSuccess;
    return result;
}
