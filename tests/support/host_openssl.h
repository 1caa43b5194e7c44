// The host's openssl command line, run from inside Wine (CreateProcess on
// its Unix path). Wine neither waits for a Unix process nor gives its exit
// code, so a shell writes the status into a file when openssl is done.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/test_util.h"

namespace testsupport::openssl {

inline const char* Path() { return "/usr/bin/openssl"; }

inline bool Available()
{
    FILE* f = std::fopen(Path(), "rb");
    if (f) std::fclose(f);
    FILE* sh = std::fopen("/bin/sh", "rb");
    if (sh) std::fclose(sh);
    return f && sh;
}

// Runs a host shell command line (no double quotes in it); its exit
// status, -1 when it could not be run.
inline int RunShell(const std::string& commandLine)
{
    static int run = 0;
    std::string status = testsupport::WorkDir() + "/hostssl-" + std::to_string(GetCurrentProcessId()) + "-" +
                         std::to_string(++run) + ".status";
    std::string line = "/bin/sh -c \"" + commandLine + "; echo $? > " + status +
                       ".tmp && mv " + status + ".tmp " + status + "\"";
    std::vector<char> command(line.begin(), line.end());
    command.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot run " << line;
        return -1;
    }
    // Wine leaves hProcess null for a Unix program and hThread holding no
    // handle of it: closing that could close one of ours.
    if (process.hProcess) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (int waited = 0; waited < 60000; waited += 10) {
        if (FILE* f = std::fopen(status.c_str(), "rb")) {
            int code = -1;
            if (std::fscanf(f, "%d", &code) != 1) code = -1;
            std::fclose(f);
            std::remove(status.c_str());
            return code;
        }
        Sleep(10);
    }
    ADD_FAILURE() << "no answer from " << line;
    return -1;
}

// Runs openssl with the arguments (a shell line).
inline int Run(const std::string& arguments) { return RunShell(std::string(Path()) + " " + arguments); }

// openssl verifies a DER signed message against the test CA and writes the
// content to out (removed first); detached when the content file is given.
inline int VerifySigned(const std::string& der, const std::string& out, const std::string* content = nullptr)
{
    std::remove(out.c_str());
    std::string args = "cms -verify -inform DER -binary -purpose any -CAfile " + testsupport::PkiDir() +
                       "/ca.cert.pem -in " + der + " -out " + out;
    if (content) args += " -content " + *content;
    return Run(args);
}

// openssl opens a DER envelope for the test PKI's entity (NAME.cert.pem and
// NAME.key.pem; RC4 needs the legacy provider) and writes the content to out.
inline int DecryptEnvelope(const std::string& der, const std::string& out, const std::string& recipient = "recipient")
{
    std::remove(out.c_str());
    const std::string pki = testsupport::PkiDir() + "/" + recipient;
    return Run("cms -decrypt -provider legacy -provider default -inform DER -binary -in " + der + " -recip " + pki +
               ".cert.pem -inkey " + pki + ".key.pem -out " + out);
}

}  // namespace testsupport::openssl
