// _GetTimeStampData on stored tokens: what openssl reads in a real token,
// and clean failures on spoilt ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/halvery/stamp_util.h"
#include "tests/support/tsa_server.h"
#include "tests/support/tsa_tokens.h"

namespace {

using halvery_test::Bytes;
using testsupport::TsaMode;

struct TokenData {
    int result = -1;
    std::uint32_t error = 0;
    std::string genTime, serial, subject, issuer;
    Bytes hashed, certificate;
};

std::string Text(const ByteBuffer& b) { return b.pointer ? std::string(reinterpret_cast<char*>(b.pointer), b.length) : ""; }

TokenData Read(const Bytes& token)
{
    TokenData out;
    ByteBuffer in = {const_cast<unsigned char*>(token.data()), token.size()};
    ByteBuffer fields[6];
    for (ByteBuffer& f : fields) f = ByteBuffer{reinterpret_cast<unsigned char*>(1), 99};  // overwritten
    out.result = _GetTimeStampData(&in, &fields[0], &fields[1], &fields[2], &fields[3], &fields[4], &fields[5],
                                   &out.error);
    out.genTime = Text(fields[0]);
    for (std::size_t i = 0; i < fields[1].length; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", fields[1].pointer[i]);
        out.serial += hex;
    }
    out.hashed.assign(fields[2].pointer, fields[2].pointer + fields[2].length);
    out.certificate.assign(fields[3].pointer, fields[3].pointer + fields[3].length);
    out.subject = Text(fields[4]);
    out.issuer = Text(fields[5]);
    for (ByteBuffer& f : fields) {
        if (out.result != 0) EXPECT_TRUE(f.pointer == nullptr && f.length == 0);
        else std::free(f.pointer);  // the shared C runtime's heap
    }
    return out;
}

// "20261211014952.441Z" as openssl prints it: "Dec 11 01:49:52.441 2026 GMT".
std::string AsOpensslPrints(const std::string& genTime)
{
    static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (genTime.size() < 15) return "";
    const int month = std::atoi(genTime.substr(4, 2).c_str()), day = std::atoi(genTime.substr(6, 2).c_str());
    char text[64];
    std::snprintf(text, sizeof text, "%s %2d %s:%s:%s%s %s GMT", months[month - 1], day, genTime.substr(8, 2).c_str(),
                  genTime.substr(10, 2).c_str(), genTime.substr(12, 2).c_str(),
                  genTime.substr(14, genTime.size() - 15).c_str(), genTime.substr(0, 4).c_str());
    return text;
}

std::string WithoutLeadingZeros(std::string hex)
{
    while (hex.size() > 2 && hex.compare(0, 2, "00") == 0) hex.erase(0, 2);
    return hex;
}

TEST(TimeStampData, GivesWhatOpensslPrintsOfTheToken)
{
    for (TsaMode mode : {TsaMode::Fraction, TsaMode::Sha256}) {
        testsupport::TsaServer server(mode);
        halvery_test::StampOptions options;
        options.url = server.Url();
        const halvery_test::StampOutcome stamp = halvery_test::Stamp(options);
        ASSERT_EQ(stamp.granted, 1);
        const std::string file = testsupport::WorkDir() + "/data.tok";
        testsupport::WriteFile(file, stamp.token.data(), stamp.token.size());
        const std::string text = testsupport::TsaTokenText(file);
        ASSERT_FALSE(text.empty());

        const TokenData data = Read(stamp.token);
        ASSERT_EQ(data.result, 0) << std::hex << data.error;
        EXPECT_EQ(data.error, 0u);
        EXPECT_EQ(AsOpensslPrints(data.genTime), testsupport::TsaTextField(text, "Time stamp")) << data.genTime;
        if (mode == TsaMode::Fraction && testsupport::TsaTextField(text, "Time stamp").find('.') != std::string::npos) {
            EXPECT_NE(data.genTime.find('.'), std::string::npos) << "the fraction is kept as received";
        }
        EXPECT_EQ("0x" + WithoutLeadingZeros(data.serial), testsupport::TsaTextField(text, "Serial number"));
        EXPECT_EQ(data.hashed, stamp.hash);
        EXPECT_EQ(data.certificate, testsupport::ReadFile(testsupport::Pki("tsa.cert.der")));
        EXPECT_EQ(data.subject, "Tavomir Test TSA");
        EXPECT_EQ(data.issuer, "Tavomir Test CA");
    }
}

TEST(TimeStampData, SpoiltTokensFailWithNothingHandedOut)
{
    const Bytes good = testsupport::tsa::Token("spoilt", "spoilt token data");
    ASSERT_FALSE(good.empty());
    Bytes flipped = good;
    const Bytes tstInfo = testsupport::tsa::TSTInfoOf("spoilt", good);
    const std::size_t at = testsupport::tsa::Find(good, tstInfo);
    ASSERT_NE(at, std::string::npos);
    flipped[at + tstInfo.size() - 1] ^= 0x01;  // the TSTInfo's last byte: a nonce or imprint byte
    Bytes truncated(good.begin(), good.begin() + good.size() / 2);
    const Bytes oversized = testsupport::tsa::SignedTSTInfo("oversized", Bytes(7000, 0x30), "tsa", true);
    ASSERT_FALSE(oversized.empty());
    struct Case {
        const char* what;
        Bytes token;
        std::uint32_t error;
    } cases[] = {
        {"rewritten TSTInfo", flipped, TSP_ERR_SIGNATURE},
        {"truncated", truncated, TSP_ERR_DECODING_TOKEN},
        {"eContent over 6144 bytes", oversized, TSP_ERR_DECODING_TOKEN},
        {"not DER", Bytes(64, 0xFF), TSP_ERR_DECODING_TOKEN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TokenData data = Read(c.token);
        EXPECT_EQ(data.result, 1);
        EXPECT_EQ(data.error, c.error) << std::hex << data.error;
    }
    EXPECT_EQ(Read(good).result, 0);
    uint32_t error = 0;
    EXPECT_EQ(_GetTimeStampData(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &error), 1);
}

}  // namespace
