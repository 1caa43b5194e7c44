// The RFC 3161 codecs against the openssl command line: our requests read by
// `openssl ts -query`, its requests read by our authority-side reader, and
// replies of `openssl ts -reply` (the test PKI's TSA) read by our decoders;
// plus hand-made DER for the shapes openssl never sends.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/der/der.h"
#include "core/der/der_reader.h"
#include "tests/support/openssl_cli.h"
#include "tests/support/der_build_util.h"
#include "tests/support/test_util.h"
#include "tsp/protocol/tsp_codecs.h"

using testsupport::FromHex;
using testsupport::Cat;
using testsupport::Tlv;
using testsupport::ToHex;
using Bytes = std::vector<unsigned char>;

namespace {

const Bytes kSha1Alg = FromHex("300906052B0E03021A0500");
const Bytes kHash20 = FromHex("00112233445566778899AABBCCDDEEFF00112233");

// TSTInfo bodies: version, policy, imprint, serial, genTime, then the rest.
Bytes TstInfo(const Bytes& tail)
{
    return Tlv(0x30, Cat({Tlv(0x02, {1}), Tlv(0x06, FromHex("2A030405")),
                          Tlv(0x30, Cat({kSha1Alg, Tlv(0x04, kHash20)})), Tlv(0x02, {0x2A}),
                          Tlv(0x18, Bytes{'2', '0', '2', '6', '0', '1', '0', '2', '0', '3', '0', '4', '0', '5', 'Z'}),
                          tail}));
}

struct DecodedResponse {
    int ok = 0, status = -1, failure = -1;
    Bytes token;
};

DecodedResponse DecodeResponse(const Bytes& der)
{
    DecodedResponse out;
    Bytes token(kTspWorkSize);
    std::size_t tokenLength = 0;
    out.ok = DecodeTimeStampResp(der.data(), der.size(), &out.status, &out.failure, token.data(), &tokenLength);
    token.resize(out.ok ? tokenLength : 0);
    out.token = token;
    return out;
}

struct HeldTSTInfo {
    TSTInfoFields fields{};
    int ok = 0;
    explicit HeldTSTInfo(const Bytes& der) { ok = DecodeTSTInfo(&fields, der.data(), der.size()); }
    ~HeldTSTInfo() { FreeTSTInfoFields(&fields); }
    static std::string Hex(const ByteBuffer& b) { return b.pointer ? ToHex(b.pointer, b.length) : ""; }
    static std::string Text(const ByteBuffer& b)
    {
        return b.pointer ? std::string(reinterpret_cast<const char*>(b.pointer), b.length) : "";
    }
};

// ---- Failure information ------------------------------------------------

TEST(TspFailureInfo, EachSingleBitHasItsCodeAndOthersGiveZero)
{
    const struct {
        const char* bits;
        int code;
    } cases[] = {
        {"0780", 1}, {"0520", 2}, {"0204", 3}, {"010002", 4}, {"000001", 5}, {"07000080", 6},
        {"06000040", 7}, {"0600000040", 8},
        {"06C0", 0},      // badAlg and badMessageCheck together
        {"0740", 0},      // badMessageCheck (1), not in the table
        {"0080", 0},      // badAlg with the unused bits not stated
        {"078000", 0},    // badAlg padded with a zero byte
        {"", 0},
    };
    for (const auto& c : cases) {
        const Bytes bits = FromHex(c.bits);
        EXPECT_EQ(TspFailureCodeOf(bits.data(), bits.size()), c.code) << c.bits;
    }
    for (int code = 1; code <= 8; ++code) {
        const ByteBuffer pattern = TspFailurePattern(code);
        EXPECT_EQ(TspFailureCodeOf(pattern.pointer, pattern.length), code);
    }
}

// ---- Request encoding ---------------------------------------------------

TEST(TspRequestEncode, RefusesNoncesThatAreNotMinimalPositiveIntegers)
{
    const struct {
        const char* nonce;
        int ok;
    } cases[] = {
        {"8001020304050607", 0},  // negative
        {"FF01020304050607", 0},  // negative
        {"007F020304050607", 0},  // redundant leading zero
        {"0000", 0},              // redundant leading zero
        {"0080020304050607", 1},  // leading zero needed before the top bit
        {"7F01020304050607", 1},
        {"00", 1},
    };
    for (const auto& c : cases) {
        Bytes nonce = FromHex(c.nonce);
        ByteBuffer view{nonce.data(), nonce.size()};
        unsigned char out[256];
        std::size_t length = 0;
        EXPECT_EQ(EncodeTimeStampReq(kHash20.data(), kHash20.size(), &view, 1, out, sizeof out, &length), c.ok)
            << c.nonce;
    }
}

TEST(TspRequestEncode, NonceMakerFixesAnyFirstByte)
{
    for (int first = 0; first < 256; ++first) {
        unsigned char nonce[8] = {static_cast<unsigned char>(first), 0, 0, 0, 0, 0, 0, 0};
        MakeNonceMinimalPositive(nonce, sizeof nonce);
        EXPECT_TRUE(IsMinimalPositiveInteger(nonce, sizeof nonce)) << first;
    }
}

TEST(TspRequestEncode, ExactBytesAndBoundedOutput)
{
    Bytes nonce = FromHex("0102030405060708");
    ByteBuffer view{nonce.data(), nonce.size()};
    unsigned char out[256];
    std::size_t length = 0;
    ASSERT_EQ(EncodeTimeStampReq(kHash20.data(), kHash20.size(), &view, 1, out, sizeof out, &length), 1);
    const Bytes expected = Tlv(0x30, Cat({Tlv(0x02, {1}), Tlv(0x30, Cat({kSha1Alg, Tlv(0x04, kHash20)})),
                                          Tlv(0x02, nonce), Tlv(0x01, {0xFF})}));
    EXPECT_EQ(ToHex(out, length), ToHex(expected.data(), expected.size()));
    // No nonce, no certReq.
    ASSERT_EQ(EncodeTimeStampReq(kHash20.data(), kHash20.size(), nullptr, 0, out, sizeof out, &length), 1);
    const Bytes bare = Tlv(0x30, Cat({Tlv(0x02, {1}), Tlv(0x30, Cat({kSha1Alg, Tlv(0x04, kHash20)}))}));
    EXPECT_EQ(ToHex(out, length), ToHex(bare.data(), bare.size()));
    // Output one byte short, and a hash beyond the working buffer.
    EXPECT_EQ(EncodeTimeStampReq(kHash20.data(), kHash20.size(), nullptr, 0, out, bare.size() - 1, &length), 0);
    Bytes huge(kTspWorkSize, 0x11);
    Bytes big(kTspWorkSize + 64);
    EXPECT_EQ(EncodeTimeStampReq(huge.data(), huge.size(), nullptr, 0, big.data(), big.size(), &length), 0);
}

// ---- Response decoding on hand-made DER ---------------------------------

TEST(TspResponseDecode, StatusInfoShapes)
{
    const Bytes token = Tlv(0x30, Tlv(0x06, FromHex("2A864886F70D010702")));
    const Bytes text = Tlv(0x30, Tlv(0x0C, Bytes{'n', 'o'}));
    const Bytes badAlg = Tlv(0x03, FromHex("0780"));
    const struct {
        const char* name;
        Bytes der;
        int ok, status, failure;
        bool withToken;
    } cases[] = {
        {"rejection with nothing after the status", Tlv(0x30, Tlv(0x30, Tlv(0x02, {2}))), 0, -1, -1, false},
        {"rejection with failInfo", Tlv(0x30, Tlv(0x30, Cat({Tlv(0x02, {2}), badAlg}))), 1, 2, 1, false},
        {"rejection with text then failInfo", Tlv(0x30, Tlv(0x30, Cat({Tlv(0x02, {2}), text, badAlg}))), 1, 2, 1,
         false},
        {"rejection with text only", Tlv(0x30, Tlv(0x30, Cat({Tlv(0x02, {2}), text}))), 1, 2, 0, false},
        {"two failure bits", Tlv(0x30, Tlv(0x30, Cat({Tlv(0x02, {5}), Tlv(0x03, FromHex("06C0"))}))), 1, 5, 0,
         false},
        {"granted", Tlv(0x30, Cat({Tlv(0x30, Tlv(0x02, {0})), token})), 1, 0, 0, true},
        {"granted with a status text", Tlv(0x30, Cat({Tlv(0x30, Cat({Tlv(0x02, {1}), text})), token})), 1, 1, 0,
         true},
        {"granted without token", Tlv(0x30, Tlv(0x30, Tlv(0x02, {0}))), 0, -1, -1, false},
        {"granted with a non-SEQUENCE token", Tlv(0x30, Cat({Tlv(0x30, Tlv(0x02, {0})), Tlv(0x04, {1})})), 0, -1,
         -1, false},
        {"two-byte status", Tlv(0x30, Cat({Tlv(0x30, Tlv(0x02, {0, 0})), token})), 0, -1, -1, false},
        {"truncated token", [&] {
             Bytes d = Tlv(0x30, Cat({Tlv(0x30, Tlv(0x02, {0})), token}));
             d.pop_back();
             return d;
         }(),
         0, -1, -1, false},
        {"outer not a SEQUENCE", Tlv(0x31, Tlv(0x30, Cat({Tlv(0x02, {2}), badAlg}))), 0, -1, -1, false},
    };
    for (const auto& c : cases) {
        const DecodedResponse r = DecodeResponse(c.der);
        EXPECT_EQ(r.ok, c.ok) << c.name;
        if (!c.ok) continue;
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.failure, c.failure) << c.name;
        if (c.withToken) EXPECT_EQ(ToHex(r.token.data(), r.token.size()), ToHex(token.data(), token.size())) << c.name;
        else EXPECT_TRUE(r.token.empty()) << c.name;
    }
}

TEST(TspResponseDecode, InputBeyondWorkingBufferRefused)
{
    Bytes filler(kTspWorkSize, 0);
    const Bytes der = Tlv(0x30, Cat({Tlv(0x30, Tlv(0x02, {0})), Tlv(0x30, filler)}));
    EXPECT_EQ(DecodeResponse(der).ok, 0);
}

// ---- TSTInfo on hand-made DER --------------------------------------------

TEST(TspTSTInfoDecode, OptionalFieldsAndEnds)
{
    const Bytes name = Tlv(0x30, Tlv(0x31, Tlv(0x30, Cat({Tlv(0x06, FromHex("550403")), Tlv(0x0C, {'T'})}))));
    const struct {
        const char* name;
        Bytes der;
        int ok;
    } cases[] = {
        {"ends after genTime", TstInfo({}), 1},
        {"explicit ordering FALSE", TstInfo(Tlv(0x01, {0})), 0},
        {"ordering TRUE, nonce, directoryName",
         TstInfo(Cat({Tlv(0x01, {0xFF}), Tlv(0x02, {5}), Tlv(0xA0, Tlv(0xA4, name))})), 1},
        {"TSA name as a dNSName", TstInfo(Tlv(0xA0, Tlv(0x82, {'x'}))), 0},
        {"extensions skipped", TstInfo(Tlv(0xA1, Tlv(0x30, {}))), 1},
        {"bytes left over", Cat({TstInfo({}), Bytes{0}}), 0},
        {"empty nonce", TstInfo(Tlv(0x02, {})), 0},
    };
    for (const auto& c : cases) {
        HeldTSTInfo t(c.der);
        EXPECT_EQ(t.ok, c.ok) << c.name;
    }
    HeldTSTInfo bare(TstInfo({}));
    EXPECT_EQ(bare.fields.accuracy.pointer, nullptr);
    EXPECT_EQ(bare.fields.nonce.pointer, nullptr);
    EXPECT_EQ(bare.fields.tsaName.pointer, nullptr);
    EXPECT_EQ(bare.fields.hashAlgorithm, kTspHashSha1);
    EXPECT_EQ(HeldTSTInfo::Hex(bare.fields.policy), "2a030405");
    EXPECT_EQ(HeldTSTInfo::Text(bare.fields.genTime), "20260102030405Z");
    HeldTSTInfo full(TstInfo(Cat({Tlv(0x01, {0xFF}), Tlv(0x02, {5}), Tlv(0xA0, Tlv(0xA4, name))})));
    EXPECT_EQ(full.fields.ordering, 1);
    EXPECT_EQ(HeldTSTInfo::Hex(full.fields.nonce), "05");
    EXPECT_EQ(HeldTSTInfo::Hex(full.fields.tsaName), ToHex(name.data(), name.size()));
}

// ---- The authority's side, round trip -----------------------------------

int Sha1Stub(const unsigned char*, std::size_t, int, ByteBuffer* digest)
{
    digest->pointer = static_cast<unsigned char*>(std::malloc(20));
    if (!digest->pointer) return 0;
    for (int i = 0; i < 20; ++i) digest->pointer[i] = static_cast<unsigned char>(i);
    digest->length = 20;
    return 1;
}

TEST(TspAuthoritySide, MadeRequestReadBackAndResponseWritten)
{
    Bytes nonce = FromHex("0a0b0c0d0e0f1011");
    ByteBuffer nonceView{nonce.data(), nonce.size()};
    unsigned char request[256];
    std::size_t requestLength = 0;
    ByteBuffer digest{nullptr, 0};
    ASSERT_EQ(MakeTimeStampReq(reinterpret_cast<const unsigned char*>("data"), 4, 0, Sha1Stub, &nonceView, 1,
                               request, sizeof request, &requestLength, &digest),
              1);
    TimeStampReqFields req{};
    ASSERT_EQ(DecodeTimeStampReq(&req, request, requestLength), 1);
    EXPECT_EQ(req.hashAlgorithm, kTspHashSha1);
    EXPECT_EQ(ToHex(req.hash.pointer, req.hash.length), ToHex(digest.pointer, digest.length));
    EXPECT_EQ(ToHex(req.nonce.pointer, req.nonce.length), "0a0b0c0d0e0f1011");
    EXPECT_EQ(req.certReq, 1);

    TSTInfoFields info{};
    unsigned char serial[] = {0x80, 0x01};
    unsigned char time[] = "20260102030405.5Z";
    info.hashAlgorithm = req.hashAlgorithm;
    info.hashedMessage = req.hash;
    info.serialNumber = ByteBuffer{serial, sizeof serial};
    info.genTime = ByteBuffer{time, sizeof time - 1};
    info.nonce = req.nonce;
    unsigned char tst[512];
    std::size_t tstLength = 0;
    ASSERT_EQ(EncodeTSTInfo(info, tst, sizeof tst, &tstLength), 1);
    HeldTSTInfo back(Bytes(tst, tst + tstLength));
    ASSERT_EQ(back.ok, 1);
    EXPECT_EQ(HeldTSTInfo::Hex(back.fields.serialNumber), "008001");  // unsigned
    EXPECT_EQ(HeldTSTInfo::Text(back.fields.genTime), "20260102030405.5Z");
    EXPECT_EQ(HeldTSTInfo::Hex(back.fields.nonce), "0a0b0c0d0e0f1011");
    FreeTimeStampReqFields(&req);
    std::free(digest.pointer);

    unsigned char response[64];
    std::size_t responseLength = 0;
    ASSERT_EQ(EncodeTimeStampResp(2, kTspFailureSystemFailure, ByteBuffer{nullptr, 0}, response, sizeof response,
                                  &responseLength),
              1);
    const DecodedResponse r = DecodeResponse(Bytes(response, response + responseLength));
    EXPECT_EQ(r.ok, 1);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.failure, kTspFailureSystemFailure);
    EXPECT_EQ(EncodeTimeStampResp(0, 0, ByteBuffer{nullptr, 0}, response, sizeof response, &responseLength), 0);
    EXPECT_EQ(EncodePKIStatusInfo(2, 9, response, sizeof response, &responseLength), 0);
}

}  // namespace
