#include "core/der/oid.h"

#include "core/der/bytes.h"
#include "core/der/der.h"
#include "core/der/der_stream.h"
#include "core/hash/digest.h"

namespace {

struct OIDRow {
    int code;
    unsigned char length;
    unsigned char bytes[kOIDMaxLength];
    bool decodeOnly;  // accepted when reading, never written
};

// Content bytes of a dotted identifier, worked out at compile time so the
// tables read as the identifiers themselves. An identifier longer than the
// row does not compile.
constexpr OIDRow Row(int code, const char* dotted, bool decodeOnly = false)
{
    OIDRow row{code, 0, {}, decodeOnly};
    unsigned long arcs[16] = {};
    int count = 0;
    unsigned long value = 0;
    for (const char* p = dotted;; ++p) {
        if (*p == '.' || *p == '\0') {
            arcs[count++] = value;
            value = 0;
            if (*p == '\0') break;
        } else {
            value = value * 10 + static_cast<unsigned long>(*p - '0');
        }
    }
    row.bytes[row.length++] = static_cast<unsigned char>(arcs[0] * 40 + arcs[1]);
    for (int i = 2; i < count; ++i) {
        int groups = 1;
        while (groups < 5 && (arcs[i] >> (7 * groups)) != 0) ++groups;
        for (int g = groups - 1; g >= 0; --g) {
            unsigned char b = static_cast<unsigned char>((arcs[i] >> (7 * g)) & 0x7F);
            row.bytes[row.length++] = static_cast<unsigned char>(g ? (b | 0x80) : b);
        }
    }
    return row;
}

constexpr OIDRow kAlgorithmRows[] = {
    Row(kDigestMd2, "1.2.840.113549.2.2"),
    Row(kDigestMd4, "1.2.840.113549.2.4"),
    Row(kDigestMd5, "1.2.840.113549.2.5"),
    Row(kDigestSha1, "1.3.14.3.2.26"),
    Row(kAlgRsaEncryption, "1.2.840.113549.1.1.1"),
    Row(kAlgMD2WithRsa, "1.2.840.113549.1.1.2"),
    Row(kAlgMD4WithRsa, "1.2.840.113549.1.1.3"),
    Row(kAlgMD5WithRsa, "1.2.840.113549.1.1.4"),
    Row(kAlgPbeMD2DesCbc, "1.2.840.113549.1.5.1"),
    Row(kAlgPbeMD5DesCbc, "1.2.840.113549.1.5.3"),
    Row(kAlgDesCbc, "1.3.14.3.2.7"),
    Row(kAlgRc4, "1.2.840.113549.3.4"),
    Row(kAlgPbeShaRc2_40, "1.2.840.113549.1.12.1.6"),
    Row(kAlgPbeShaRc2_128, "1.2.840.113549.1.12.1.5"),
    Row(kAlgPbeSha3DesCbc, "1.2.840.113549.1.12.1.3"),
    Row(kAlgSHA1WithRsa, "1.2.840.113549.1.1.5"),
    Row(kAlgDesEde3Cbc, "1.2.840.113549.3.7"),
    // Aliases met in stored data.
    Row(kAlgPbeMD5DesCbc, "1.2.840.113549.1.6.1", true),
    Row(kAlgDesCbc, "1.2.840.113549.1.7.1", true),
    Row(kAlgRc4, "1.2.840.113549.1.15.1", true),
    Row(kAlgSHA1WithRsa, "1.3.14.3.2.29", true),
};

constexpr OIDRow kContentTypeRows[] = {
    Row(kContentData, "1.2.840.113549.1.7.1"),
    Row(kContentSignedData, "1.2.840.113549.1.7.2"),
    Row(kContentEnvelopedData, "1.2.840.113549.1.7.3"),
    Row(kContentSignedAndEnvelopedData, "1.2.840.113549.1.7.4"),
    Row(kContentDigestedData, "1.2.840.113549.1.7.5"),
    Row(kContentEncryptedData, "1.2.840.113549.1.7.6"),
};

constexpr OIDRow kObjectRows[] = {
    Row(kObjFriendlyName, "1.2.840.113549.1.9.20"),
    Row(kObjLocalKeyId, "1.2.840.113549.1.9.21"),
    Row(kObjX509Certificate, "1.2.840.113549.1.9.22.1"),
    Row(kObjKeyBag, "1.2.840.113549.1.12.10.1.1"),
    Row(kObjCertBag, "1.2.840.113549.1.12.10.1.3"),
    Row(kObjCrlBag, "1.2.840.113549.1.12.10.1.4"),
    Row(kObjSecretBag, "1.2.840.113549.1.12.10.1.5"),
    Row(kObjShroudedKeyBag, "1.2.840.113549.1.12.10.1.2"),
    Row(kObjKeyUsage, "2.5.29.15"),
    Row(kObjBasicConstraints, "2.5.29.19"),
    Row(kObjCertificatePolicies, "2.5.29.32"),
    Row(kObjCrlDistributionPoints, "2.5.29.31"),
    Row(kObjAuthorityKeyId, "2.5.29.35"),
    Row(kObjCrlNumber, "2.5.29.20"),
    Row(kObjReasonCode, "2.5.29.21"),
    Row(kObjMessageDigest, "1.2.840.113549.1.9.4"),
    Row(kObjSigningTime, "1.2.840.113549.1.9.5"),
    Row(kObjSmimeCapabilities, "1.2.840.113549.1.9.15"),
    Row(kObjContentType, "1.2.840.113549.1.9.3"),
    Row(kObjPkixOcsp, "1.3.6.1.5.5.7.48.1", true),
    Row(kObjPolicyVerisign1, "2.16.840.1.113733.1.7.1.1"),
    Row(kObjQualifierCps, "1.3.6.1.5.5.7.2.1"),
    Row(kObjQualifierUnotice, "1.3.6.1.5.5.7.2.2"),
    Row(kObjPolicyVerisign2, "2.16.840.1.113733.1.6.3"),
    Row(kKeyPurposeServerAuth, "1.3.6.1.5.5.7.3.1", true),
    Row(kKeyPurposeClientAuth, "1.3.6.1.5.5.7.3.2", true),
    Row(kKeyPurposeCodeSigning, "1.3.6.1.5.5.7.3.3", true),
    Row(kKeyPurposeEmailProtection, "1.3.6.1.5.5.7.3.4", true),
    Row(kKeyPurposeTimeStamping, "1.3.6.1.5.5.7.3.8", true),
    Row(kKeyPurposeOcspSigning, "1.3.6.1.5.5.7.3.9", true),
    Row(kKeyPurposeServerGatedCrypto, "1.3.6.1.4.1.311.10.3.3", true),
};

constexpr OIDRow kExtensionRows[] = {
    Row(kExtEmailAddress, "1.2.840.113549.1.9.1"),
    Row(kExtChallengePassword, "1.2.840.113549.1.9.7"),
    Row(kExtExtendedCertAttributes, "1.2.840.113549.1.9.9"),
    Row(kExtOwn1, "1.3.15.1"),
    Row(kExtOwn2, "1.3.15.2"),
    Row(kExtNetscapeCertType, "2.16.840.1.113730.1.1"),
    Row(kExtNetscapeComment, "2.16.840.1.113730.1.13"),
    Row(kExtNetscapeSslServerName, "2.16.840.1.113730.1.12"),
    Row(8, "2.37.1117.1931.3"),
    Row(9, "2.37.1117.1931.5"),
    Row(10, "2.37.1117.1931.7"),
    Row(11, "2.37.1117.1931.13"),
    Row(12, "2.37.1117.1931.23"),
    Row(13, "2.37.1117.1931.29"),
    Row(14, "2.37.1117.1931.31"),
    Row(kExtKeyUsage, "2.5.29.15"),
    Row(kExtBasicConstraints, "2.5.29.19"),
    Row(kExtExtKeyUsage, "2.5.29.37"),
    Row(kExtCertificatePolicies, "2.5.29.32"),
    Row(kExtCrlDistributionPoints, "2.5.29.31"),
    Row(kExtSubjectAltName, "2.5.29.17"),
    Row(kExtIssuerAltName, "2.5.29.18"),
    Row(kExtAuthorityInfoAccess, "1.3.6.1.5.5.7.1.1"),
    Row(kExtOcspNoCheck, "1.3.6.1.5.5.7.48.1.5"),
    // extensionRequest: the attribute-set decoder looks inside it.
    Row(kExtSubjectAltName, "1.2.840.113549.1.9.14", true),
};

constexpr OIDRow kAttributeRows[] = {
    Row(kAttrEmailAddress, "1.2.840.113549.1.9.1"),
    Row(kAttrChallengePassword, "1.2.840.113549.1.9.7"),
    Row(kAttrExtendedCertAttributes, "1.2.840.113549.1.9.9"),
};

template <std::size_t N>
const OIDRow* FindCode(const OIDRow (&rows)[N], int code)
{
    for (const OIDRow& row : rows)
        if (row.code == code && !row.decodeOnly) return &row;
    return nullptr;
}

template <std::size_t N>
int FindOID(const OIDRow (&rows)[N], const unsigned char* oid, std::size_t length)
{
    if (!oid) return -1;
    for (const OIDRow& row : rows)
        if (row.length == length && CompareBytes(row.bytes, oid, length) == 0) return row.code;
    return -1;
}

template <std::size_t N>
int CodeToOID(const OIDRow (&rows)[N], int code, unsigned char* out, std::size_t* length)
{
    const OIDRow* row = FindCode(rows, code);
    if (!row) return 1;
    CopyBytes(out, row->bytes, row->length);
    *length = row->length;
    return 0;
}

std::size_t EncodeAlgorithmIdWith(DERCursor* cursor, int code, int parameterTag, const ByteBuffer& parameters)
{
    unsigned char oid[kOIDMaxLength];
    std::size_t oidLength;
    if (AlgorithmToOID(code, oid, &oidLength) != 0) return 0;
    std::size_t params = PutDERValue(cursor, parameterTag, parameters);
    if (!params) return 0;
    std::size_t id = PutDERValue(cursor, kTagObjectId, ByteBuffer{oid, oidLength});
    if (!id) return 0;
    std::size_t header = PutDERValue(cursor, kTagSequence, ByteBuffer{nullptr, params + id});
    return header ? header + params + id : 0;
}

}  // namespace

int AlgorithmToOID(int code, unsigned char* out, std::size_t* length)
{
    return CodeToOID(kAlgorithmRows, code, out, length);
}

int ContentTypeToOID(int code, unsigned char* out, std::size_t* length)
{
    return CodeToOID(kContentTypeRows, code, out, length);
}

int ObjectCodeToOID(int code, unsigned char* out, std::size_t* length)
{
    // Key-purpose flags are small numbers; they are never written back.
    if (code < kObjFriendlyName) return 1;
    return CodeToOID(kObjectRows, code, out, length);
}

int ExtensionKindToOID(int kind, unsigned char* out)
{
    std::size_t length;
    if (CodeToOID(kExtensionRows, kind, out, &length) != 0) return -1;
    return static_cast<int>(length);
}

int AttributeTypeToOID(int type, unsigned char* out)
{
    std::size_t length;
    return CodeToOID(kAttributeRows, type, out, &length) == 0 ? 1 : -1;
}

int OIDToAlgorithm(const unsigned char* oid, std::size_t length) { return FindOID(kAlgorithmRows, oid, length); }

int OIDToContentType(const unsigned char* oid, std::size_t length) { return FindOID(kContentTypeRows, oid, length); }

int OIDToBagType(const unsigned char* oid, std::size_t length) { return FindOID(kObjectRows, oid, length); }

int OIDToExtensionKind(const unsigned char* oid, std::size_t length) { return FindOID(kExtensionRows, oid, length); }

int OIDToAttributeType(const unsigned char* oid, std::size_t length) { return FindOID(kAttributeRows, oid, length); }

std::size_t EncodeAlgorithmId(DERCursor* cursor, int code)
{
    return EncodeAlgorithmIdWith(cursor, code, kTagNull, ByteBuffer{nullptr, 0});
}

std::size_t EncodeAlgorithmIdParams(DERCursor* cursor, int code, const unsigned char* parameters,
                                    std::size_t parametersLength)
{
    if (parametersLength && !parameters) return 0;
    return EncodeAlgorithmIdWith(cursor, code, kTagOctetString,
                                 ByteBuffer{const_cast<unsigned char*>(parameters), parametersLength});
}

std::size_t DecodeAlgorithmId(DERCursor* cursor, int* code)
{
    int tag;
    ByteBuffer sequence = {nullptr, 0};
    std::size_t header = GetDERValue(cursor, &tag, &sequence);
    if (!header || tag != kTagSequence) return 0;
    std::size_t remaining = sequence.length;

    ByteBuffer oid = {nullptr, 0};
    std::size_t read = GetDERValue(cursor, &tag, &oid);
    if (!read || tag != kTagObjectId || read > remaining) return 0;
    int found = OIDToAlgorithm(oid.pointer, oid.length);
    if (found < 0) return 0;
    remaining -= read;

    if (remaining != 0) {
        ByteBuffer null = {nullptr, 0};
        read = GetDERValue(cursor, &tag, &null);
        if (!read || tag != kTagNull || null.length != 0 || read != remaining) return 0;
    }
    *code = found;
    return header + sequence.length;
}

std::size_t ReadAlgorithmId(DataStream* stream, int* code)
{
    int tag;
    std::size_t sequenceLength;
    std::size_t header = ReadDERTagLength(stream, &tag, &sequenceLength);
    if (!header || tag != kTagSequence) return 0;

    unsigned char area[kAlgorithmIdWorkSize];
    DERReadWork work = {area, sizeof area};
    ByteBuffer oid = {nullptr, 0};
    std::size_t read = ReadDERValue(&work, stream, &tag, &oid);
    if (!read || tag != kTagObjectId || read > sequenceLength) return 0;
    std::size_t remaining = sequenceLength - read;

    if (remaining != 0) {
        std::size_t nullLength;
        read = ReadDERTagLength(stream, &tag, &nullLength);
        if (!read || tag != kTagNull || nullLength != 0 || read != remaining) return 0;
    }
    *code = OIDToAlgorithm(oid.pointer, oid.length);
    return header + sequenceLength;
}
