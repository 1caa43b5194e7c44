// The time-stamp examples as a client runs them: Wine's cscript drives the
// registered object through "T" and "V" against the test TSA, and openssl
// checks the token they leave.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/com_fixture.h"
#include "tests/support/host_openssl.h"
#include "tests/support/registry_fixture.h"
#include "tests/support/test_util.h"
#include "tests/support/tsa_server.h"

using namespace testsupport::com;

namespace {

class TimeStampClients : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(MainServer().Register(), S_OK); }
    void TearDown() override { testsupport::registry::DeleteKey(); }
};

TEST_F(TimeStampClients, ExamplesStampAndCheck)
{
    testsupport::TsaServer tsa(testsupport::TsaMode::Sha1);
    ASSERT_NE(tsa.Port(), 0);
    testsupport::registry::DeleteKey();
    testsupport::registry::SetDword("USAR_TSP", 1);
    testsupport::registry::SetText("URL_TSP", tsa.Url());
    testsupport::registry::SetDword("USAR_AC", 1);
    testsupport::registry::SetText("CERT_AC", FullPath(testsupport::Pki("ca.cert.der")));
    const std::string data = testsupport::Pki("message.txt");
    for (const char* language : {"js", "vbs"}) {
        SCOPED_TRACE(language);
        const std::string token = testsupport::WorkDir() + "/clients-stamp-" + language + ".tsr";
        std::remove(token.c_str());
        TRun run = RunScript(std::string("examples/timestamp.") + language, {FullPath(data), FullPath(token)});
        ASSERT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_NE(run.output.find("its check (V): Execute "), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("Message 2 | Fecha: "), std::string::npos) << run.output;
        const std::string der = token + ".der";
        std::remove(der.c_str());
        ASSERT_EQ(testsupport::openssl::RunShell("base64 -d -i " + token + " > " + der), 0);
        EXPECT_EQ(testsupport::TsaVerifyTokenForData(der, data), 0);
    }
}

}  // namespace
