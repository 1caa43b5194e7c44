#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "core/der/ber_push_reader.h"
#include "tests/support/ber_trace.h"
#include "tests/support/test_util.h"

namespace {

using testsupport::FromHex;
using testsupport::ber::PushInPieces;
using testsupport::ber::TraceHandler;

struct PushCase {
    const char* name;
    const char* hex;
    BerStatus status;
    bool complete;      // when the status is Ok
    const char* trace;  // what the handler was told, up to the failure
    int skipId;
};

// Content pieces are written one after another, so the trace of a pushed
// input does not depend on where its blocks end.
const PushCase kCases[] = {
    {"definite nested", "3009020101300404020a0b", BerStatus::Ok, true, "30{02=01;30{04=0a0b;}}", -1},
    {"indefinite chunks", "2480040201020400040103" "0000", BerStatus::Ok, true, "24{*04=0102;04=;04=03;}", -1},
    {"indefinite in definite", "300aa080040201020000" "0500", BerStatus::Ok, true, "30{a0{*04=0102;}05=;}", -1},
    {"long-form lengths", "3082000604830000010a", BerStatus::Ok, true, "30{04=0a;}", -1},
    {"empty constructed", "3000", BerStatus::Ok, true, "30{}", -1},
    {"skipped definite", "3007a1030102030500", BerStatus::Ok, true, "30{a1~05=;}", 0xa1},
    {"skipped indefinite", "3080a18030800401ff00000000" "0000", BerStatus::Ok, true, "30{*a1~}", 0xa1},
    {"incomplete", "300602010130", BerStatus::Ok, false, "30{02=01;", -1},
    {"trailing byte", "300000", BerStatus::Trailing, false, "30{}", -1},
    {"high tag number", "3003" "1f0100", BerStatus::BadTag, false, "30{", -1},
    {"five length bytes", "3085000000000100", BerStatus::TooLarge, false, "", -1},
    {"primitive indefinite", "0480", BerStatus::Corrupt, false, "", -1},
    {"end of contents in definite", "30020000", BerStatus::Corrupt, false, "30{", -1},
    {"end of contents with a length", "30800001", BerStatus::Corrupt, false, "30{*", -1},
    {"child past its parent", "3003040201", BerStatus::Corrupt, false, "30{", -1},
    {"indefinite child past definite end", "3004a0800400" "0000", BerStatus::Corrupt, false, "30{a0{*04=;", -1},
    {"too deep", "3080308030803080308030803080308030803080308030803080308030803080"
                 "3080308030803080308030803080308030803080308030803080308030803080",
     BerStatus::TooLarge, false,
     "30{*30{*30{*30{*30{*30{*30{*30{*30{*30{*30{*30{*30{*30{*30{*30{*"
     "30{*30{*30{*30{*30{*30{*30{*30{*30{*30{*30{*30{*30{*30{*30{*30{*", -1},
};

class BerPushTable : public testing::TestWithParam<PushCase> {};

TEST_P(BerPushTable, SameAtEverySplitPoint)
{
    const PushCase& c = GetParam();
    const std::vector<unsigned char> input = FromHex(c.hex);
    TraceHandler whole(c.skipId);
    bool complete = false;
    ASSERT_EQ(PushInPieces(input, {}, &whole, &complete), c.status);
    EXPECT_EQ(whole.trace, c.trace);
    if (c.status == BerStatus::Ok) {
        EXPECT_EQ(complete, c.complete);
    }

    for (std::size_t cut = 0; cut <= input.size(); ++cut) {
        TraceHandler split(c.skipId);
        bool splitComplete = false;
        EXPECT_EQ(PushInPieces(input, {cut}, &split, &splitComplete), c.status) << "cut at " << cut;
        EXPECT_EQ(split.trace, c.trace) << "cut at " << cut;
        EXPECT_EQ(splitComplete, complete) << "cut at " << cut;
    }
    std::vector<std::size_t> everyByte;
    for (std::size_t cut = 1; cut < input.size(); ++cut) everyByte.push_back(cut);
    TraceHandler bytes(c.skipId);
    bool bytesComplete = false;
    EXPECT_EQ(PushInPieces(input, everyByte, &bytes, &bytesComplete), c.status);
    EXPECT_EQ(bytes.trace, c.trace);
    EXPECT_EQ(bytesComplete, complete);
}

INSTANTIATE_TEST_SUITE_P(Encodings, BerPushTable, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<PushCase>& info) {
                             std::string name;
                             for (const char* p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// A handler's refusal stops the push at once and is reported as such.
class RefuseSecond : public TraceHandler {
public:
    bool OnHeader(BerFrame& parent, const BerHeader& header, BerDecision* decision) override
    {
        if (++headers == 2) return false;
        return TraceHandler::OnHeader(parent, header, decision);
    }
    int headers = 0;
};

TEST(BerPushReader, HandlerRefusalStops)
{
    RefuseSecond handler;
    bool complete = false;
    EXPECT_EQ(PushInPieces(FromHex("3003020101"), {}, &handler, &complete), BerStatus::Handler);
    EXPECT_EQ(handler.trace, "30{");
}

// The handler's field and the children count stay with the frame.
class FieldCounter : public TraceHandler {
public:
    bool OnHeader(BerFrame& parent, const BerHeader& header, BerDecision* decision) override
    {
        seen.push_back(static_cast<int>(parent.children) * 10 + parent.field);
        ++parent.field;
        return TraceHandler::OnHeader(parent, header, decision);
    }
    std::vector<int> seen;
};

TEST(BerPushReader, FrameKeepsFieldAndChildren)
{
    FieldCounter again;
    bool complete = false;
    ASSERT_EQ(PushInPieces(FromHex("30080201010201023000"), {3, 7}, &again, &complete), BerStatus::Ok);
    EXPECT_TRUE(complete);
    EXPECT_EQ(again.seen, (std::vector<int>{10, 10, 21, 32}));
}

}  // namespace
