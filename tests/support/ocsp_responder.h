// A real OCSP responder for the Windows tests: the host's `openssl ocsp` on
// a port of its choosing, started from inside Wine and stopped by its
// process id. Paths are host paths.
#pragma once
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/host_openssl.h"
#include "tests/support/test_util.h"

namespace testsupport {

class OcspResponder {
public:
    // index: openssl's database; ca: the certificates' issuer; signer and
    // key: who signs the answers; extra: further openssl ocsp options.
    OcspResponder(const std::string& index, const std::string& ca, const std::string& signer, const std::string& key,
                  const std::string& extra = "")
    {
        static int started = 0;
        const std::string base = WorkDir() + "/responder-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(++started);
        log_ = base + ".log";
        const std::string pidFile = base + ".pid";
        std::remove(log_.c_str());
        std::remove(pidFile.c_str());
        openssl::RunShell("OPENSSL_CONF=/dev/null " + std::string(openssl::Path()) + " ocsp -index " + index +
                          " -CA " + ca + " -rsigner " + signer + " -rkey " + key +
                          " -rmd sha1 -ndays 1 -port 0 -ignore_err " + extra + " </dev/null >" + log_ +
                          " 2>&1 & echo $! >" + pidFile);
        pid_ = ReadNumber(pidFile);
        std::remove(pidFile.c_str());
        // "ACCEPT [::]:PORT PID=N" once it listens.
        for (int waited = 0; pid_ > 0 && port_ == 0 && waited < 20000; waited += 50) {
            std::ifstream in(log_);
            std::string line;
            while (std::getline(in, line)) {
                const auto accept = line.find("ACCEPT ");
                const auto pidAt = line.find(" PID=");
                const auto colon = line.rfind(':', pidAt);
                if (accept != std::string::npos && pidAt != std::string::npos && colon != std::string::npos)
                    port_ = std::atoi(line.substr(colon + 1, pidAt - colon - 1).c_str());
            }
            if (port_ == 0) Sleep(50);
        }
    }
    ~OcspResponder() { Stop(); }
    OcspResponder(const OcspResponder&) = delete;
    OcspResponder& operator=(const OcspResponder&) = delete;

    bool Started() const { return port_ > 0; }
    int Port() const { return port_; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
    std::string Log() const
    {
        std::ifstream in(log_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void Stop()
    {
        if (pid_ > 0) openssl::RunShell("kill " + std::to_string(pid_));
        pid_ = 0;
    }

private:
    static int ReadNumber(const std::string& file)
    {
        std::ifstream in(file);
        int value = 0;
        in >> value;
        return value;
    }

    std::string log_;
    int pid_ = 0;
    int port_ = 0;
};

}  // namespace testsupport
