// Targets set from decoded fields or from the issuer's certificate alone
// make the same request as the target's certificate; the kept certificate
// slots hold ten.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/der/der.h"
#include "core/x509/decoded_certificate.h"
#include "ocsp/protocol/ocsp_sets.h"
#include "ocsp/protocol/target_entries.h"
#include "tests/support/ocsp_test_util.h"

using namespace testsupport;
using namespace testsupport::ocsp;

namespace {

std::string RequestHex(DataSets* request)
{
    std::vector<unsigned char> der = BuildRequest(request, {});
    return ToHex(der.data(), der.size());
}

TEST(OcspTargets, OtherRoadsMakeTheSameRequest)
{
    Sets byCertificates;
    ASSERT_TRUE(AddTarget(byCertificates.get(), "signer"));
    const std::string expected = RequestHex(byCertificates.get());
    ASSERT_FALSE(expected.empty());
    const std::vector<unsigned char> serial = FromHex("1002"), ca = Cert("ca");

    Sets fromFields;
    DecodedCertificate issuer(ByteBuffer{const_cast<unsigned char*>(ca.data()), ca.size()}, nullptr);
    ASSERT_TRUE(issuer.decoded);
    ASSERT_EQ(AddTargetEntry(&issuer.fields.subject, ByteBuffer{const_cast<unsigned char*>(serial.data()), 2},
                             &issuer.fields.publicKey, fromFields.get()),
              1);
    // The same key hash; the Name as the core's encoder orders it.
    const unsigned char *ours = nullptr, *theirs = nullptr;
    std::size_t oursLength = 0, theirsLength = 0;
    ASSERT_FALSE(RequestHex(fromFields.get()).empty());
    ASSERT_EQ(GetDataItem(fromFields.get(), kSlotKeyHash, 1, &ours, &oursLength), 0);
    ASSERT_EQ(GetDataItem(byCertificates.get(), kSlotKeyHash, 1, &theirs, &theirsLength), 0);
    EXPECT_EQ(ToHex(ours, oursLength), ToHex(theirs, theirsLength));
    std::vector<unsigned char> encoded(6144);
    DERCursor cursor;
    InitDERWriter(&cursor, encoded.data(), encoded.size());
    const std::size_t encodedLength = EncodeName(&cursor, &issuer.fields.subject);
    ASSERT_EQ(GetDataItem(fromFields.get(), kSlotTargetIssuerName, 1, &ours, &oursLength), 0);
    EXPECT_EQ(ToHex(ours, oursLength), ToHex(encoded.data() + cursor.position, encodedLength));

    Sets fromIssuer;
    ASSERT_EQ(ReadIssuerNameAndKey(ca.data(), ca.size(), fromIssuer.get()), ca.size());
    ASSERT_EQ(AddTargetSerial(fromIssuer.get(), ByteBuffer{const_cast<unsigned char*>(serial.data()), 2}), 1);
    EXPECT_EQ(RequestHex(fromIssuer.get()), expected);

    ByteBuffer subject{nullptr, 0}, keyBits{nullptr, 0};
    ASSERT_EQ(ExtractSubjectAndKey(ca.data(), ca.size(), &subject, &keyBits), ca.size());
    const unsigned char* name = nullptr;
    std::size_t nameLength = 0;
    ASSERT_EQ(GetDataItem(fromIssuer.get(), kSlotTargetIssuerName, 1, &name, &nameLength), 0);
    EXPECT_EQ(ToHex(subject.pointer, subject.length), ToHex(name, nameLength));
    EXPECT_GT(keyBits.length, 256u);
    FreeItems(&subject, 1);
    FreeItems(&keyBits, 1);
}

TEST(OcspTargets, TenOfEachAtMost)
{
    Sets request;
    const std::vector<unsigned char> ca = Cert("ca");
    const ByteBuffer item{const_cast<unsigned char*>(ca.data()), ca.size()};
    DecodedCertificate issuer(item, nullptr);
    ASSERT_TRUE(issuer.decoded);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(AddTargetCertificate(request.get(), item), 1);
        EXPECT_EQ(AddIssuerCertificate(request.get(), item), 1);
        EXPECT_EQ(AddTargetEntry(&issuer.fields.subject, item, &issuer.fields.publicKey, request.get()), 1);
    }
    EXPECT_EQ(AddTargetCertificate(request.get(), item), 0);
    EXPECT_EQ(AddIssuerCertificate(request.get(), item), 0);
    EXPECT_EQ(AddTargetEntry(&issuer.fields.subject, item, &issuer.fields.publicKey, request.get()), 0);
    EXPECT_EQ(AddTargetSerial(request.get(), item), 0);
    for (std::uint32_t slot : {kSlotTargetIssuerName, kSlotIssuerKey, kSlotTargetSerial, kSlotTargetCertificates,
                               kSlotIssuerCertificates}) {
        std::uint32_t count = 0;
        CountDataItems(request.get(), slot, &count);
        EXPECT_EQ(count, 10u) << slot;
    }
}

}  // namespace
