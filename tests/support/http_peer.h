// tests/support/http_peer.py from the Windows tests under Wine: started
// through the host's shell, stopped by its process id when the owner goes,
// on every path (the peer also ends itself after its lifetime).
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/support/host_openssl.h"
#include "tests/support/test_util.h"

namespace testsupport {

class HttpPeer {
public:
    // arguments: the peer's options, a shell line without double quotes.
    explicit HttpPeer(const std::string& arguments, int lifetimeSeconds = 120)
    {
        static int started = 0;
        const std::string out = WorkDir() + "/http-peer-" + std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(++started) + ".out";
        std::remove(out.c_str());
        // The interpreter itself, not a wrapper, so the id it prints is the one to stop.
        const std::string line = "( /usr/bin/python3 " + SourceDir() + "/tests/support/http_peer.py " + arguments +
                                 " --lifetime " + std::to_string(lifetimeSeconds) + " > " + out +
                                 " 2>/dev/null </dev/null & )";
        if (openssl::RunShell(line) != 0) {
            ADD_FAILURE() << "cannot start the HTTP peer: " << line;
            return;
        }
        for (int waited = 0; waited < 20000 && pid_ == 0; waited += 20) {
            if (FILE* f = std::fopen(out.c_str(), "rb")) {
                int port = 0;
                long pid = 0;
                if (std::fscanf(f, "%d %ld", &port, &pid) == 2) port_ = port, pid_ = pid;
                std::fclose(f);
            }
            if (pid_ == 0) Sleep(20);
        }
        std::remove(out.c_str());
        if (pid_ == 0) ADD_FAILURE() << "the HTTP peer did not start: " << line;
    }
    ~HttpPeer() { Stop(); }
    HttpPeer(const HttpPeer&) = delete;
    HttpPeer& operator=(const HttpPeer&) = delete;

    int Port() const { return port_; }
    std::string Url(const std::string& path = "") const
    {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    // Ends the peer and waits until it is gone, so its port is free.
    void Stop()
    {
        if (pid_ == 0) return;
        const std::string pid = std::to_string(pid_);
        pid_ = 0;
        openssl::RunShell("kill " + pid + " 2>/dev/null; for i in $(seq 200); do kill -0 " + pid +
                          " 2>/dev/null || break; sleep 0.05; done");
    }

private:
    int port_ = 0;
    long pid_ = 0;
};

}  // namespace testsupport
