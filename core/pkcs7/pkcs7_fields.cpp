#include "core/pkcs7/pkcs7_fields.h"

#include <cstdint>

#include "core/der/der_reader.h"
#include "core/der/oid.h"

using namespace der_reader;

namespace {

const std::size_t kDesEde3IvLength = 8;

bool SameBytes(const ByteBuffer& a, const unsigned char* b, std::size_t length)
{
    return a.length == length && CompareBytes(a.pointer, b, length) == 0;
}

// An element of the tag with empty content, as the whole element.
bool IsEmptyElement(const ByteBuffer& element, int tag)
{
    return element.length == 2 && element.pointer[0] == Identifier(tag) && element.pointer[1] == 0;
}

// The element's content when the tag is its own and it fills the view.
bool ReadWhole(const ByteBuffer& element, int tag, ByteBuffer* content)
{
    DERCursor cursor = Inside(element);
    return ReadExpected(&cursor, tag, content) && AtEnd(cursor);
}

bool ReadVersionIn(DERCursor* cursor, const int* allowed, std::size_t count, int* version)
{
    ByteBuffer content;
    if (!ReadExpected(cursor, kTagInteger, &content) || content.length != 1) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (content.pointer[0] == allowed[i]) {
            *version = allowed[i];
            return true;
        }
    }
    return false;
}

}  // namespace

bool ReadPkcs7Algorithm(DERCursor* cursor, Pkcs7Algorithm* algorithm)
{
    DERCursor inner;
    if (!Enter(cursor, kTagSequence, &inner)) return false;
    if (!ReadExpected(&inner, kTagObjectId, &algorithm->oid) || algorithm->oid.length == 0) return false;
    algorithm->parameters = ByteBuffer{nullptr, 0};
    Element parameters;
    if (!AtEnd(inner)) {
        if (!ReadAny(&inner, &parameters)) return false;
        algorithm->parameters = parameters.whole;
    }
    return AtEnd(inner);
}

bool Pkcs7NoParameters(const Pkcs7Algorithm& algorithm)
{
    return algorithm.parameters.length == 0 || IsEmptyElement(algorithm.parameters, kTagNull);
}

bool ReadPkcs7Identifier(DERCursor* cursor, Pkcs7Identifier* identifier)
{
    bool byKeyId = false;
    if (!ReadOptional(cursor, kTagContext, &byKeyId, &identifier->keyId)) return false;
    identifier->byKeyId = byKeyId;
    if (byKeyId) return identifier->keyId.length > 0;
    DERCursor inner;
    ByteBuffer name;
    return Enter(cursor, kTagSequence, &inner) && ReadExpected(&inner, kTagSequence, &name, &identifier->issuer) &&
           ReadExpected(&inner, kTagInteger, &identifier->serial) && identifier->serial.length > 0 && AtEnd(inner);
}

bool ReadPkcs7Version(const ByteBuffer& element, const int* allowed, std::size_t count, int* version)
{
    DERCursor cursor = Inside(element);
    return ReadVersionIn(&cursor, allowed, count, version) && AtEnd(cursor);
}

bool ReadPkcs7ObjectId(const ByteBuffer& element, ByteBuffer* oid) { return ReadWhole(element, kTagObjectId, oid); }

bool ReadPkcs7DigestAlgorithms(const ByteBuffer& element, std::vector<Pkcs7Algorithm>* algorithms)
{
    algorithms->clear();
    ByteBuffer set;
    if (!ReadWhole(element, kTagSet, &set)) return false;
    DERCursor inner = Inside(set);
    while (!AtEnd(inner)) {
        Pkcs7Algorithm algorithm;
        if (!ReadPkcs7Algorithm(&inner, &algorithm) || !Pkcs7NoParameters(algorithm)) return false;
        algorithms->push_back(algorithm);
    }
    return true;
}

bool ReadPkcs7SignerInfo(const ByteBuffer& element, Pkcs7SignerInfo* info)
{
    *info = Pkcs7SignerInfo{};
    ByteBuffer body, content;
    if (!ReadWhole(element, kTagSequence, &body)) return false;
    DERCursor inner = Inside(body);
    static const int kVersions[] = {1, 3};
    bool present = false;
    // Version 1 names the signer by issuer and serial number, 3 by key identifier.
    bool ok = ReadVersionIn(&inner, kVersions, 2, &info->version) && ReadPkcs7Identifier(&inner, &info->signer) &&
              info->version == (info->signer.byKeyId ? 3 : 1) && ReadPkcs7Algorithm(&inner, &info->digest) &&
              ReadOptional(&inner, kTagContextConstructed, &present, &content, &info->signedAttributes) &&
              ReadPkcs7Algorithm(&inner, &info->signature) &&
              ReadExpected(&inner, kTagOctetString, &info->signatureValue) && info->signatureValue.length > 0;
    // Unsigned attributes are passed over.
    if (ok && !AtEnd(inner)) ok = ReadExpected(&inner, kTagContextConstructed + 1, &content);
    return ok && AtEnd(inner);
}

bool ReadPkcs7RecipientInfo(const ByteBuffer& element, Pkcs7RecipientInfo* info)
{
    *info = Pkcs7RecipientInfo{};
    if (element.length == 0) return false;
    // Not key transport: not one the decoder can use.
    if (element.pointer[0] != Identifier(kTagSequence)) return true;
    ByteBuffer body;
    if (!ReadWhole(element, kTagSequence, &body)) return false;
    DERCursor inner = Inside(body);
    static const int kVersions[] = {0, 2};
    // Version 0 names the recipient by issuer and serial number, 2 by key identifier.
    const bool ok = ReadVersionIn(&inner, kVersions, 2, &info->version) &&
                    ReadPkcs7Identifier(&inner, &info->recipient) &&
                    info->version == (info->recipient.byKeyId ? 2 : 0) &&
                    ReadPkcs7Algorithm(&inner, &info->keyAlgorithm) &&
                    ReadExpected(&inner, kTagOctetString, &info->encryptedKey) && info->encryptedKey.length > 0 &&
                    AtEnd(inner);
    info->keyTransport = ok;
    return ok;
}

Pkcs7AttributesResult ReadPkcs7SignedAttributes(const ByteBuffer& element, Pkcs7SignedAttributes* attributes)
{
    *attributes = Pkcs7SignedAttributes{};
    ByteBuffer set;
    if (!ReadWhole(element, kTagContextConstructed, &set)) return Pkcs7AttributesResult::Malformed;
    unsigned char typeOid[kOIDMaxLength];
    unsigned char digestOid[kOIDMaxLength];
    std::size_t typeLength = 0;
    std::size_t digestLength = 0;
    ObjectCodeToOID(kObjContentType, typeOid, &typeLength);
    ObjectCodeToOID(kObjMessageDigest, digestOid, &digestLength);
    DERCursor inner = Inside(set);
    while (!AtEnd(inner)) {
        DERCursor fields;
        ByteBuffer oid, values, value;
        if (!Enter(&inner, kTagSequence, &fields) || !ReadExpected(&fields, kTagObjectId, &oid) ||
            !ReadExpected(&fields, kTagSet, &values) || !AtEnd(fields))
            return Pkcs7AttributesResult::Malformed;
        const bool isType = SameBytes(oid, typeOid, typeLength);
        const bool isDigest = SameBytes(oid, digestOid, digestLength);
        if (!isType && !isDigest) continue;
        bool& seen = isType ? attributes->hasContentType : attributes->hasMessageDigest;
        DERCursor one = Inside(values);
        if (seen || !ReadExpected(&one, isType ? kTagObjectId : kTagOctetString, &value) || !AtEnd(one))
            return Pkcs7AttributesResult::Repeated;
        seen = true;
        (isType ? attributes->contentType : attributes->messageDigest) = value;
    }
    return Pkcs7AttributesResult::Ok;
}

bool ReadPkcs7ContentCipher(const ByteBuffer& element, Pkcs7ContentCipher* cipher)
{
    *cipher = Pkcs7ContentCipher{};
    DERCursor cursor = Inside(element);
    Pkcs7Algorithm algorithm;
    if (!ReadPkcs7Algorithm(&cursor, &algorithm) || !AtEnd(cursor)) return false;
    switch (OIDToAlgorithm(algorithm.oid.pointer, algorithm.oid.length)) {
    case kAlgRc4:
        // Without salt only: parameters absent, NULL or an empty OCTET STRING.
        if (Pkcs7NoParameters(algorithm) || IsEmptyElement(algorithm.parameters, kTagOctetString))
            cipher->algorithm = kAlgRc4;
        return true;
    case kAlgDesEde3Cbc: {
        ByteBuffer iv;
        if (!ReadWhole(algorithm.parameters, kTagOctetString, &iv) || iv.length != kDesEde3IvLength) return false;
        cipher->algorithm = kAlgDesEde3Cbc;
        cipher->iv = iv;
        return true;
    }
    default:
        return true;
    }
}

bool Pkcs7DottedOid(const ByteBuffer& oid, std::string* text)
{
    text->clear();
    std::uint64_t value = 0;
    bool first = true;
    for (std::size_t i = 0; i < oid.length; ++i) {
        if (value >> 56) return false;  // an arc beyond 63 bits
        value = (value << 7) | (oid.pointer[i] & 0x7F);
        if (oid.pointer[i] & 0x80) continue;
        if (first) {
            const std::uint64_t top = value < 40 ? 0 : value < 80 ? 1 : 2;
            *text = std::to_string(top) + "." + std::to_string(value - 40 * top);
            first = false;
        } else {
            *text += "." + std::to_string(value);
        }
        value = 0;
    }
    return !first && !(oid.pointer[oid.length - 1] & 0x80);
}
