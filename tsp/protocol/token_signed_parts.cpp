#include "tsp/protocol/token_signed_parts.h"

#include "core/der/der_reader.h"

using namespace der_reader;

namespace {

const unsigned char kSignedData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
const unsigned char kTSTInfo[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x10, 0x01, 0x04};
const unsigned char kContentTypeAttribute[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03};
const unsigned char kMessageDigestAttribute[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};
const unsigned char kSha1[] = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
const unsigned char kSha256[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};

bool Same(const ByteBuffer& view, const unsigned char* bytes, std::size_t length)
{
    return view.length == length && CompareBytes(view.pointer, bytes, length) == 0;
}

// One attribute's single value of the tag; false when a second is there.
bool TakeSingleValue(DERCursor attribute, int tag, ByteBuffer* value, bool* seen)
{
    DERCursor values;
    if (*seen || !Enter(&attribute, kTagSet, &values) || !ReadView(&values, tag, value) || !AtEnd(values))
        return false;
    *seen = true;
    return true;
}

bool ReadSignedAttributes(DERCursor attributes, TokenSignedParts* parts)
{
    bool haveType = false, haveDigest = false;
    while (!AtEnd(attributes)) {
        DERCursor attribute;
        ByteBuffer type;
        if (!Enter(&attributes, kTagSequence, &attribute) || !ReadView(&attribute, kTagObjectId, &type)) return false;
        if (Same(type, kContentTypeAttribute, sizeof kContentTypeAttribute)) {
            if (!TakeSingleValue(attribute, kTagObjectId, &parts->contentType, &haveType)) return false;
        } else if (Same(type, kMessageDigestAttribute, sizeof kMessageDigestAttribute)) {
            if (!TakeSingleValue(attribute, kTagOctetString, &parts->messageDigest, &haveDigest)) return false;
        }
    }
    return haveType && haveDigest;
}

bool ReadFirstSigner(DERCursor signerInfos, TokenSignedParts* parts)
{
    DERCursor signer, digestAlgorithm, attributes;
    ByteBuffer version;
    if (!Enter(&signerInfos, kTagSequence, &signer) || !ReadView(&signer, kTagInteger, &version) ||
        !SkipElement(&signer) || !Enter(&signer, kTagSequence, &digestAlgorithm) ||
        !ReadView(&digestAlgorithm, kTagObjectId, &parts->digestAlgorithm) ||
        !Enter(&signer, kTagContextConstructed + 0, &attributes))
        return false;
    return ReadSignedAttributes(attributes, parts);
}

bool ReadParts(const unsigned char* token, std::size_t length, TokenSignedParts* parts)
{
    DERCursor outer = Reader(token, length), contentInfo, explicitContent, signedData, encapsulated, wrapped;
    ByteBuffer type, version, digestAlgorithms;
    if (!Enter(&outer, kTagSequence, &contentInfo) || !ReadView(&contentInfo, kTagObjectId, &type) ||
        !Same(type, kSignedData, sizeof kSignedData) ||
        !Enter(&contentInfo, kTagContextConstructed + 0, &explicitContent) ||
        !Enter(&explicitContent, kTagSequence, &signedData) || !ReadView(&signedData, kTagInteger, &version) ||
        !ReadExpected(&signedData, kTagSet, &digestAlgorithms) || !Enter(&signedData, kTagSequence, &encapsulated) ||
        !ReadView(&encapsulated, kTagObjectId, &parts->eContentType) ||
        !Enter(&encapsulated, kTagContextConstructed + 0, &wrapped) ||
        !ReadView(&wrapped, kTagOctetString, &parts->eContent) || !AtEnd(wrapped))
        return false;
    // Certificates [0] and CRLs [1] come before the signers.
    while (!AtEnd(signedData) && PeekTag(&signedData) != kTagSet)
        if (!SkipElement(&signedData)) return false;
    DERCursor signerInfos;
    return Enter(&signedData, kTagSet, &signerInfos) && ReadFirstSigner(signerInfos, parts);
}

}  // namespace

bool ReadTokenSignedParts(const unsigned char* token, std::size_t length, TokenSignedParts* parts)
{
    *parts = TokenSignedParts{};
    if (token && length != 0 && ReadParts(token, length, parts)) return true;
    *parts = TokenSignedParts{};
    return false;
}

TokenDigest TokenDigestOf(const TokenSignedParts& parts)
{
    if (Same(parts.digestAlgorithm, kSha1, sizeof kSha1)) return kTokenDigestSha1;
    if (Same(parts.digestAlgorithm, kSha256, sizeof kSha256)) return kTokenDigestSha256;
    return kTokenDigestUnknown;
}

bool TokenContentIsTSTInfo(const TokenSignedParts& parts)
{
    return Same(parts.eContentType, kTSTInfo, sizeof kTSTInfo) && Same(parts.contentType, kTSTInfo, sizeof kTSTInfo);
}

bool TokenDigestMatches(const TokenSignedParts& parts, const unsigned char* digest, std::size_t digestLength)
{
    return digest && digestLength != 0 && Same(parts.messageDigest, digest, digestLength);
}
