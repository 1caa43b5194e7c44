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


// ---- Against the openssl command line -----------------------------------
#ifndef _WIN32

namespace ossl = testsupport::openssl_cli;

std::string Work(const std::string& name) { return testsupport::WorkDir() + "/tsp-" + name; }

std::string ReadText(const std::string& path)
{
    const Bytes b = testsupport::ReadFile(path);
    return std::string(b.begin(), b.end());
}

// A TSA section per behaviour, signing with the test PKI's TSA key.
std::string WriteTsaConfig()
{
    const std::string path = Work("tsa.cnf");
    std::string common = "signer_cert = " + testsupport::Pki("tsa.cert.pem") + "\n" +
                         "signer_key = " + testsupport::Pki("tsa.key.pem") + "\n" +
                         "certs = " + testsupport::Pki("ca.cert.pem") + "\n" + "serial = " + Work("serial") +
                         "\n" + "crypto_device = builtin\n" + "default_policy = 1.2.3.4.1\n" +
                         "signer_digest = sha256\n" + "ess_cert_id_chain = no\n" + "ess_cert_id_alg = sha1\n";
    std::string text = "[ tsa ]\ndefault_tsa = plain\n";
    text += "[ plain ]\n" + common + "digests = sha1, sha256\n";
    text += "[ rich ]\n" + common +
            "digests = sha1\naccuracy = secs:1, millisecs:500, microsecs:100\nclock_precision_digits = 3\n"
            "ordering = yes\ntsa_name = yes\n";
    text += "[ nosha1 ]\n" + common + "digests = sha256\n";
    testsupport::WriteFile(path, text.data(), text.size());
    testsupport::WriteFile(Work("serial"), "01\n", 3);
    return path;
}

// The encapsulated TSTInfo of a token: ContentInfo { OID, [0] SignedData {
// version, digestAlgorithms, encapContentInfo { OID, [0] OCTET STRING } } }.
Bytes TstInfoOfToken(const Bytes& token)
{
    using namespace der_reader;
    DERCursor outer = Reader(token.data(), token.size()), info, explicitTag, signedData, encap, wrapped;
    ByteBuffer oid, version, algorithms, eContent;
    if (!Enter(&outer, kTagSequence, &info) || !ReadView(&info, kTagObjectId, &oid) ||
        !Enter(&info, kTagContextConstructed + 0, &explicitTag) || !Enter(&explicitTag, kTagSequence, &signedData) ||
        !ReadView(&signedData, kTagInteger, &version) || !ReadExpected(&signedData, kTagSet, &algorithms) ||
        !Enter(&signedData, kTagSequence, &encap) || !ReadView(&encap, kTagObjectId, &oid) ||
        !Enter(&encap, kTagContextConstructed + 0, &wrapped) || !ReadView(&wrapped, kTagOctetString, &eContent))
        return {};
    return Bytes(eContent.pointer, eContent.pointer + eContent.length);
}

struct OpensslReply {
    DecodedResponse response;
    Bytes query;
};

// `openssl ts -query` (sha1, certReq) for the data, answered by the section.
OpensslReply AskOpenssl(const std::string& section, const std::string& queryOptions)
{
    const std::string config = WriteTsaConfig();
    const std::string data = Work("data.txt");
    testsupport::WriteFile(data, "stamp me\n", 9);
    OpensslReply out;
    if (ossl::Run("ts -query -sha1 -cert " + queryOptions + " -data " + data + " -out " + Work("q.der")) != 0 ||
        ossl::Run("ts -reply -config " + config + " -section " + section + " -queryfile " + Work("q.der") +
                  " -out " + Work("r.der")) != 0)
        return out;
    out.query = testsupport::ReadFile(Work("q.der"));
    out.response = DecodeResponse(testsupport::ReadFile(Work("r.der")));
    return out;
}

TEST(TspWithOpenssl, OpensslReadsOurRequest)
{
    Bytes nonce = FromHex("1122334455667788");
    ByteBuffer view{nonce.data(), nonce.size()};
    unsigned char out[256];
    std::size_t length = 0;
    ASSERT_EQ(EncodeTimeStampReq(kHash20.data(), kHash20.size(), &view, 1, out, sizeof out, &length), 1);
    ASSERT_TRUE(testsupport::WriteFile(Work("ours.der"), out, length));
    ASSERT_EQ(ossl::Run("ts -query -in " + Work("ours.der") + " -text -out " + Work("ours.txt")), 0);
    const std::string text = ReadText(Work("ours.txt"));
    EXPECT_NE(text.find("Version: 1"), std::string::npos) << text;
    EXPECT_NE(text.find("Hash Algorithm: sha1"), std::string::npos) << text;
    EXPECT_NE(text.find("00 11 22 33 44 55 66 77-88 99 aa bb cc dd ee ff"), std::string::npos) << text;
    EXPECT_NE(text.find("Nonce: 0x1122334455667788"), std::string::npos) << text;
    EXPECT_NE(text.find("Certificate required: yes"), std::string::npos) << text;
}

TEST(TspWithOpenssl, OurReaderReadsOpensslRequests)
{
    for (const bool withNonce : {true, false}) {
        const std::string data = Work("req-data.txt");
        testsupport::WriteFile(data, "abc", 3);
        ASSERT_EQ(ossl::Run(std::string("ts -query -sha1 -cert ") + (withNonce ? "" : "-no_nonce ") + "-data " +
                            data + " -out " + Work("theirs.der")),
                  0);
        const Bytes der = testsupport::ReadFile(Work("theirs.der"));
        TimeStampReqFields req{};
        ASSERT_EQ(DecodeTimeStampReq(&req, der.data(), der.size()), 1);
        EXPECT_EQ(req.hashAlgorithm, kTspHashSha1);
        EXPECT_EQ(ToHex(req.hash.pointer, req.hash.length), "a9993e364706816aba3e25717850c26c9cd0d89d");
        EXPECT_EQ(req.certReq, 1);
        EXPECT_EQ(req.nonce.pointer != nullptr, withNonce);
        FreeTimeStampReqFields(&req);
    }
}

TEST(TspWithOpenssl, GrantedReplyAndItsTSTInfo)
{
    const OpensslReply plain = AskOpenssl("plain", "");
    ASSERT_EQ(plain.response.ok, 1);
    EXPECT_EQ(plain.response.status, 0);
    const Bytes tst = TstInfoOfToken(plain.response.token);
    ASSERT_FALSE(tst.empty());
    HeldTSTInfo info(tst);
    ASSERT_EQ(info.ok, 1);
    EXPECT_EQ(info.fields.hashAlgorithm, kTspHashSha1);
    EXPECT_EQ(HeldTSTInfo::Hex(info.fields.policy), "2a030401");
    EXPECT_EQ(HeldTSTInfo::Text(info.fields.genTime).size(), 15u);
    EXPECT_EQ(info.fields.accuracy.pointer, nullptr);
    EXPECT_EQ(info.fields.tsaName.pointer, nullptr);
    EXPECT_EQ(info.fields.ordering, 0);
    // The nonce comes back as the request carried it.
    TimeStampReqFields req{};
    ASSERT_EQ(DecodeTimeStampReq(&req, plain.query.data(), plain.query.size()), 1);
    EXPECT_EQ(HeldTSTInfo::Hex(info.fields.nonce), ToHex(req.nonce.pointer, req.nonce.length));
    EXPECT_EQ(HeldTSTInfo::Hex(info.fields.hashedMessage), ToHex(req.hash.pointer, req.hash.length));
    FreeTimeStampReqFields(&req);

    const OpensslReply bare = AskOpenssl("plain", "-no_nonce");
    ASSERT_EQ(bare.response.ok, 1);
    HeldTSTInfo noNonce(TstInfoOfToken(bare.response.token));
    ASSERT_EQ(noNonce.ok, 1);
    EXPECT_EQ(noNonce.fields.nonce.pointer, nullptr);
}

TEST(TspWithOpenssl, AccuracyFractionOrderingAndTsaName)
{
    const OpensslReply rich = AskOpenssl("rich", "");
    ASSERT_EQ(rich.response.ok, 1);
    EXPECT_EQ(rich.response.status, 0);
    HeldTSTInfo info(TstInfoOfToken(rich.response.token));
    ASSERT_EQ(info.ok, 1);
    // accuracy { seconds 1, [0] millis 500, [1] micros 100 }
    EXPECT_EQ(HeldTSTInfo::Hex(info.fields.accuracy), "300a020101800201f4810164");
    const std::string time = HeldTSTInfo::Text(info.fields.genTime);
    EXPECT_EQ(time.size() >= 15 && time[14] == '.' ? 1 : 0, 1) << time;  // fraction kept as sent
    EXPECT_EQ(time.back(), 'Z');
    EXPECT_EQ(info.fields.ordering, 1);
    ASSERT_NE(info.fields.tsaName.pointer, nullptr);
    EXPECT_NE(HeldTSTInfo::Text(info.fields.tsaName).find("Tavomir Test TSA"), std::string::npos);
}

TEST(TspWithOpenssl, RejectionKeepsFailureBehindStatusString)
{
    const OpensslReply refused = AskOpenssl("nosha1", "");
    ASSERT_EQ(refused.response.ok, 1);
    EXPECT_EQ(refused.response.status, 2);
    EXPECT_EQ(refused.response.failure, kTspFailureBadAlg);
    EXPECT_TRUE(refused.response.token.empty());
    // openssl did send the text in front of failInfo.
    ASSERT_EQ(ossl::Run("ts -reply -in " + Work("r.der") + " -text -out " + Work("r.txt")), 0);
    EXPECT_NE(ReadText(Work("r.txt")).find("unrecognized or unsupported algorithm"), std::string::npos)
        << ReadText(Work("r.txt"));
}

#endif  // _WIN32

}  // namespace
