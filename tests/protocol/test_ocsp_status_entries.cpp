// The status entries of slots 2 to 8 removed one at a time, an entry's time
// window, and the response signature read from slot 12, which openssl
// verifies over the signed part.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ocsp/protocol/ocsp_sets.h"
#include "ocsp/protocol/response_checks.h"
#include "ocsp/protocol/status_entries.h"
#include "tests/support/ocsp_test_util.h"

using namespace testsupport;
using namespace testsupport::ocsp;

namespace {

// The items of slots 2 to 8 as one text per slot, "a b c".
std::vector<std::string> Slots(const DataSets* sets)
{
    std::vector<std::string> out;
    for (std::uint32_t slot = 2; slot <= 8; ++slot) {
        std::string text;
        std::uint32_t count = 0;
        CountDataItems(sets, slot, &count);
        for (std::uint32_t n = 1; n <= count; ++n) {
            const unsigned char* data = nullptr;
            std::size_t length = 0;
            GetDataItem(sets, slot, n, &data, &length);
            text += (n > 1 ? " " : "") + std::string(reinterpret_cast<const char*>(data), length);
        }
        out.push_back(text);
    }
    return out;
}

// Slots 2 to 4 hold `requested` entries, slots 5 to 8 `matched` of them:
// item n of slot s is "s.n".
void Fill(DataSets* sets, int requested, int matched)
{
    for (std::uint32_t slot = 2; slot <= 8; ++slot)
        for (int n = 1; n <= (slot <= 4 ? requested : matched); ++n) {
            const std::string item = std::to_string(slot) + "." + std::to_string(n);
            AddDataItem(sets, slot, item.data(), item.size());
        }
    AddDataItem(sets, 9, "kept", 4);
    AddDataItem(sets, 1, "kept", 4);
}

TEST(OcspStatusEntries, RemovingAnEntryKeepsTheSlotsPaired)
{
    struct Case {
        const char* what;
        int requested, matched;
        std::uint32_t number;
        int result;
        std::vector<std::string> left;  // slots 2 to 8
    } cases[] = {
        {"middle of three", 3, 3, 2, 1, {"2.1 2.3", "3.1 3.3", "4.1 4.3", "5.1 5.3", "6.1 6.3", "7.1 7.3", "8.1 8.3"}},
        {"first of three", 3, 3, 1, 1, {"2.2 2.3", "3.2 3.3", "4.2 4.3", "5.2 5.3", "6.2 6.3", "7.2 7.3", "8.2 8.3"}},
        {"last of three", 3, 3, 3, 1, {"2.1 2.2", "3.1 3.2", "4.1 4.2", "5.1 5.2", "6.1 6.2", "7.1 7.2", "8.1 8.2"}},
        {"requested but not matched", 2, 1, 2, 1, {"2.1", "3.1", "4.1", "5.1", "6.1", "7.1", "8.1"}},
        {"matched ones move up", 2, 1, 1, 1, {"2.2", "3.2", "4.2", "", "", "", ""}},
        {"past the end", 2, 2, 3, 0, {"2.1 2.2", "3.1 3.2", "4.1 4.2", "5.1 5.2", "6.1 6.2", "7.1 7.2", "8.1 8.2"}},
        {"number 0", 1, 1, 0, 0, {"2.1", "3.1", "4.1", "5.1", "6.1", "7.1", "8.1"}},
        {"empty set", 0, 0, 1, 0, {"", "", "", "", "", "", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sets sets;
        Fill(sets.get(), c.requested, c.matched);
        EXPECT_EQ(RemoveStatusEntry(sets.get(), c.number), c.result);
        EXPECT_EQ(Slots(sets.get()), c.left);
        // Slots outside 2 to 8 are left alone.
        std::uint32_t count = 0;
        CountDataItems(sets.get(), 1, &count);
        EXPECT_EQ(count, 1u);
        CountDataItems(sets.get(), 9, &count);
        EXPECT_EQ(count, 1u);
    }
    EXPECT_EQ(RemoveStatusEntry(nullptr, 1), 0);
}

TEST(OcspStatusEntries, TimeWindow)
{
    struct Case {
        const char* now;
        const char* thisUpdate;
        const char* nextUpdate;
        int window;
    } cases[] = {
        {"20240101120000Z", "20240101110000Z", kOCSPEmptyTime, kStatusWindowOpen},
        {"20240101120000Z", "20240101110000Z", "20240101130000Z", kStatusWindowOpen},
        {"20240101120000Z", "20240101120000Z", "20240101120000Z", kStatusWindowOpen},
        {"20240101120000Z", "20240101110000Z", "20240101115959Z", kStatusWindowPassed},
        {"20240101120000Z", "20231231235959Z", "20240101000000Z", kStatusWindowPassed},
        {"20240101120000Z", "20240101120001Z", kOCSPEmptyTime, kStatusWindowNotYet},
        {"20240101120000Z", "20240102000000Z", "20240103000000Z", kStatusWindowNotYet},
        // Fractions of a second do not count.
        {"20240101120000.9Z", "20240101120000Z", "20240101120000.1Z", kStatusWindowOpen},
        // Texts that are no times never open the window.
        {"20240101120000Z", "20240230110000Z", kOCSPEmptyTime, kStatusWindowNotYet},
        {"20240101120000", "20240101110000Z", kOCSPEmptyTime, kStatusWindowNotYet},
        {"20240101120000Z", "19961231235959Z", kOCSPEmptyTime, kStatusWindowNotYet},
        {"20240101120000Z", "20240101110000Z", "EMPTY ", kStatusWindowNotYet},
        {"20240101120000Z", "20240101110000Z", "", kStatusWindowNotYet},
        {"20240101120000Z", "20240101110000Z", nullptr, kStatusWindowNotYet},
        {nullptr, "20240101110000Z", kOCSPEmptyTime, kStatusWindowNotYet},
        {"20240101120000Z", nullptr, kOCSPEmptyTime, kStatusWindowNotYet},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.now ? c.now : "null") + " " + (c.thisUpdate ? c.thisUpdate : "null") + " " +
                     (c.nextUpdate ? c.nextUpdate : "null"));
        EXPECT_EQ(CheckStatusTimeWindow(c.now, c.thisUpdate, c.nextUpdate), c.window);
    }
}

TEST(OcspStatusEntries, ResponseSignatureIsItemOneOfSlot12)
{
    struct Case {
        const char* what;
        std::vector<std::size_t> items;  // lengths of the items added
        int result;
    } cases[] = {
        {"none", {}, 0},
        {"one", {128}, 1},
        {"the first of two", {64, 128}, 1},
        {"the largest a response may carry", {256}, 1},
        {"longer than any signature", {257}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sets sets;
        for (std::size_t i = 0; i < c.items.size(); ++i) {
            const std::vector<unsigned char> item(c.items[i], static_cast<unsigned char>(i + 1));
            ASSERT_EQ(AddDataItem(sets.get(), kSlotResponseSignature, item.data(), item.size()), 0);
        }
        AddDataItem(sets.get(), kSlotSignedResponse, "other slot", 10);
        ByteBuffer signature{nullptr, 0};
        EXPECT_EQ(ResponseSignature(sets.get(), &signature), c.result);
        if (c.result == 1) {
            EXPECT_EQ(signature.length, c.items[0]);
            EXPECT_EQ(signature.pointer[0], 1);
        } else {
            EXPECT_EQ(signature.pointer, nullptr);
        }
    }
    ByteBuffer signature{nullptr, 0};
    EXPECT_EQ(ResponseSignature(nullptr, &signature), 0);

    // After a parse: the signature openssl made over the signed part.
    Sets request, status;
    ASSERT_TRUE(AddTarget(request.get(), "signer"));
    const std::vector<unsigned char> der = BuildRequest(request.get(), {});
    const std::string file = Work("slot12.req.der");
    ASSERT_TRUE(WriteFile(file, der.data(), der.size()));
    const std::vector<unsigned char> response = OpensslResponse(file, "ocsp/responder", "", "slot12");
    ASSERT_FALSE(response.empty());
    int kind = -1, algorithm = -1, hash = -1, raw = -1;
    ByteBuffer copies[4] = {};
    ASSERT_EQ(ParseOCSPResponse(response.data(), response.size(), status.get(), request.get(), &kind, &copies[0],
                                &copies[1], &algorithm, &hash, &raw, &copies[2], &copies[3]),
              1);
    FreeItems(copies, 4);
    ASSERT_EQ(ResponseSignature(request.get(), &signature), 1);
    const unsigned char* tbs = nullptr;
    std::size_t tbsLength = 0;
    ASSERT_EQ(GetDataItem(request.get(), kSlotSignedResponse, 1, &tbs, &tbsLength), 0);
    const std::string tbsFile = Work("slot12.tbs"), signatureFile = Work("slot12.sig"), key = Work("slot12.pub");
    ASSERT_TRUE(WriteFile(tbsFile, tbs, tbsLength));
    ASSERT_TRUE(WriteFile(signatureFile, signature.pointer, signature.length));
    ASSERT_EQ(openssl_cli::Run("x509 -in " + Pki("ocsp/responder.cert.pem") + " -pubkey -noout -out " + key), 0);
    EXPECT_EQ(openssl_cli::Run("dgst -sha1 -verify " + key + " -signature " + signatureFile + " " + tbsFile), 0);
}

}  // namespace
