// The test time-stamp authority for the Windows tests: the host's
// `openssl ts -reply` behind tests/support/http_peer.py (forward mode) on
// 127.0.0.1, with the sections of tests/pki/make-tsa.sh, and the hostile
// answers of the same server. Started on construction, stopped by its
// process id when the owner goes. Paths are host paths.
#pragma once
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/host_openssl.h"
#include "tests/support/http_peer.h"
#include "tests/support/test_util.h"

namespace testsupport {

enum class TsaMode {
    // openssl ts -reply sections
    Sha1,         // the TSA signing with SHA-1
    Sha256,       // signing with SHA-256
    Fraction,     // genTime with milliseconds, accuracy given
    RefusesSha1,  // rejection, badAlg, statusString "Message digest algorithm is not supported."
    OtherSigner,  // a TSA certificate the test CA did not issue
    // the query rewritten before the TSA signs it
    WrongImprint,
    Sha256Imprint,  // the imprint replaced by a SHA-256 one
    WrongNonce,
    NoNonce,
    // the TSA's answer spoilt on the way
    Truncated,         // the reply's first 200 bytes, with a matching Content-Length
    WrongContentType,  // a good reply sent as text/html
    // fixed answers whatever the query
    LyingLength,    // Content-Length 4000 over 64 bytes, then the peer closes
    Oversized,      // 7000 bytes of body
    Http500,        // HTTP/1.0 500 Internal Server Error
    Garbage,        // bytes that are no HTTP reply
    Waiting,        // PKIStatus 3 with a statusString, without failure information
    UnknownStatus,  // PKIStatus 9 with a statusString
};

// The CA that issued the TSA's certificate, and the TSA's own certificate.
inline std::string TsaCaCertificateDer() { return Pki("ca.cert.der"); }
inline std::string TsaCaCertificatePem() { return Pki("ca.cert.pem"); }
inline std::string TsaCertificatePem() { return Pki("tsa.cert.pem"); }

class TsaServer {
public:
    explicit TsaServer(TsaMode mode, int lifetimeSeconds = 300) : peer_(PeerArguments(mode), lifetimeSeconds) {}

    int Port() const { return peer_.Port(); }
    // The URL the clients are given; the path is not looked at.
    std::string Url(const std::string& path = "/tsa") const { return peer_.Url(path); }
    void Stop() { peer_.Stop(); }

    // The shell line that signs a query on its standard input with a section.
    static std::string ReplyCommand(const std::string& section)
    {
        return "TSA_SERIAL=" + SerialFile() + " " + openssl::Path() + " ts -reply -config " + Pki("tsa/tsa.cnf") +
               " -section " + section + " -queryfile /dev/stdin -out /dev/stdout 2>/dev/null";
    }

private:
    static std::string SerialFile()
    {
        const std::string path = WorkDir() + "/tsa-serial-" + std::to_string(GetCurrentProcessId());
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            std::fclose(f);
        } else {
            WriteFile(path, "01\n", 3);
        }
        return path;
    }

    static std::string Forward(const std::string& command, const std::string& type = "application/timestamp-reply")
    {
        return "--mode forward --content-type " + type + " --command '" + command + "'";
    }

    static std::string Filtered(const std::string& filterMode)
    {
        return "/usr/bin/python3 " + SourceDir() + "/tests/support/tsa_query_filter.py " + filterMode + " | " +
               ReplyCommand("tsa_sha1");
    }

    // A fixed reply written to a file of the work folder.
    static std::string Fixed(const std::string& name, const std::string& bytes)
    {
        const std::string path = WorkDir() + "/tsa-reply-" + name;
        WriteFile(path, bytes.data(), bytes.size());
        return "--mode reply --reply " + path;
    }

    static std::string Granted(const std::string& body, std::size_t announced)
    {
        return "HTTP/1.0 200 Ok\r\nContent-Type: application/timestamp-reply\r\nContent-Length: " +
               std::to_string(announced) + "\r\n\r\n" + body;
    }

    static std::string StatusOnly(char status)
    {
        return std::string("\x30\x0d\x30\x0b\x02\x01", 6) + status + std::string("\x30\x06\x0c\x04" "busy", 8);
    }

    static std::string PeerArguments(TsaMode mode)
    {
        switch (mode) {
        case TsaMode::Sha1: return Forward(ReplyCommand("tsa_sha1"));
        case TsaMode::Sha256: return Forward(ReplyCommand("tsa_sha256"));
        case TsaMode::Fraction: return Forward(ReplyCommand("tsa_fraction"));
        case TsaMode::RefusesSha1: return Forward(ReplyCommand("tsa_nosha1"));
        case TsaMode::OtherSigner: return Forward(ReplyCommand("tsa_other"));
        case TsaMode::WrongImprint: return Forward(Filtered("wrong-imprint"));
        case TsaMode::Sha256Imprint: return Forward(Filtered("sha256-imprint"));
        case TsaMode::WrongNonce: return Forward(Filtered("wrong-nonce"));
        case TsaMode::NoNonce: return Forward(Filtered("no-nonce"));
        case TsaMode::Truncated: return Forward(ReplyCommand("tsa_sha1") + " | head -c 200");
        case TsaMode::WrongContentType: return Forward(ReplyCommand("tsa_sha1"), "text/html");
        case TsaMode::LyingLength: {
            const std::string start("\x30\x82\x0f\xa0\x30\x03\x02\x01\x00\x30\x82\x0f\x97", 13);
            return Fixed("lying", Granted(start + std::string(51, '\x41'), 4000));
        }
        case TsaMode::Oversized: {
            const std::string body = "\x30\x82\x1b\x54" + std::string(6996, '\x42');
            return Fixed("oversized", Granted(body, body.size()));
        }
        case TsaMode::Http500:
            return Fixed("500", "HTTP/1.0 500 Internal Server Error\r\nContent-Type: text/plain\r\n\r\nfailure\r\n");
        case TsaMode::Garbage: {
            std::string bytes;
            unsigned value = 12345;
            for (int i = 0; i < 300; ++i) bytes += static_cast<char>((value = value * 1103515245u + 12345u) >> 24);
            return Fixed("garbage", bytes);
        }
        // PKIStatusInfo { status, statusString { "busy" } }
        case TsaMode::Waiting: return Fixed("waiting", Granted(StatusOnly('\x03'), 15));
        case TsaMode::UnknownStatus: return Fixed("unknown", Granted(StatusOnly('\x09'), 15));
        }
        return "";
    }

    HttpPeer peer_;
};

// openssl's view of a token file (DER TimeStampToken).

// 0 when `openssl ts -verify` accepts the token for the data file against the test CA.
inline int TsaVerifyTokenForData(const std::string& token, const std::string& data)
{
    return openssl::Run("ts -verify -data " + data + " -in " + token + " -token_in -CAfile " + TsaCaCertificatePem() +
                        " -untrusted " + TsaCertificatePem() + " >/dev/null 2>&1");
}

// 0 when `openssl ts -verify` accepts the token for the digest (hex).
inline int TsaVerifyTokenForDigest(const std::string& token, const std::string& hexDigest)
{
    return openssl::Run("ts -verify -digest " + hexDigest + " -in " + token + " -token_in -CAfile " +
                        TsaCaCertificatePem() + " -untrusted " + TsaCertificatePem() + " >/dev/null 2>&1");
}

// The text `openssl ts -reply -in TOKEN -token_in -text` prints; empty on failure.
inline std::string TsaTokenText(const std::string& token)
{
    const std::string out = token + ".text";
    std::remove(out.c_str());
    if (openssl::Run("ts -reply -in " + token + " -token_in -token_out -text -out " + out + " 2>/dev/null") != 0)
        return "";
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The value after "name: " on the line that begins with it in such a text.
inline std::string TsaTextField(const std::string& text, const std::string& name)
{
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line))
        if (line.compare(0, name.size() + 2, name + ": ") == 0) {
            std::string value = line.substr(name.size() + 2);
            while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
            return value;
        }
    return "";
}

}  // namespace testsupport
