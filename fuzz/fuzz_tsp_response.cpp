// Time-stamp reply reading: DecodeTimeStampResp, then DecodeTSTInfo on the
// token's content when there is one and on the raw input, and the
// authority's request reader on the same input.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/der/der_reader.h"
#include "tsp/protocol/tsp_codecs.h"

namespace {

void ReadTSTInfo(const unsigned char* bytes, std::size_t length)
{
    TSTInfoFields fields{};
    DecodeTSTInfo(&fields, bytes, length);
    FreeTSTInfoFields(&fields);
}

// The TSTInfo inside a token: ContentInfo [0] SignedData encapContentInfo.
void ReadTokenContent(const unsigned char* token, std::size_t length)
{
    using namespace der_reader;
    DERCursor outer = Reader(token, length), info, tag, signedData, encap, wrapped;
    ByteBuffer skip, content;
    if (Enter(&outer, kTagSequence, &info) && ReadView(&info, kTagObjectId, &skip) &&
        Enter(&info, kTagContextConstructed + 0, &tag) && Enter(&tag, kTagSequence, &signedData) &&
        ReadView(&signedData, kTagInteger, &skip) && ReadExpected(&signedData, kTagSet, &skip) &&
        Enter(&signedData, kTagSequence, &encap) && ReadView(&encap, kTagObjectId, &skip) &&
        Enter(&encap, kTagContextConstructed + 0, &wrapped) && ReadView(&wrapped, kTagOctetString, &content))
        ReadTSTInfo(content.pointer, content.length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<unsigned char> token(kTspWorkSize);
    std::size_t tokenLength = 0;
    int status = 0, failure = 0;
    if (DecodeTimeStampResp(data, size, &status, &failure, token.data(), &tokenLength) && tokenLength != 0)
        ReadTokenContent(token.data(), tokenLength);
    ReadTSTInfo(data, size);
    TimeStampReqFields request{};
    DecodeTimeStampReq(&request, data, size);
    FreeTimeStampReqFields(&request);
    return 0;
}
