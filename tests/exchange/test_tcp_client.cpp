// The TCP client's own promises: Windows Sockets imported by ordinal only,
// every start paired with a clean-up, names resolved, counts kept.
#include <gtest/gtest.h>
#include <winsock.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "exchange/exchange_profile.h"
#include "exchange/http_exchange.h"
#include "exchange/tcp_client.h"
#include "tests/support/http_peer.h"
#include "tests/support/test_util.h"

namespace {

using testsupport::HttpPeer;

std::string SaveReply(const std::string& name, const std::string& bytes)
{
    const std::string path = testsupport::WorkDir() + "/" + name;
    EXPECT_TRUE(testsupport::WriteFile(path, bytes.data(), bytes.size()));
    return path;
}

// The import descriptors of this executable, which links the client in.
std::vector<ULONGLONG> Wsock32Thunks(bool* found)
{
    std::vector<ULONGLONG> thunks;
    *found = false;
    auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), "wsock32.dll") != 0) continue;
        *found = true;
        for (auto* t = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk); t->u1.Ordinal; ++t)
            thunks.push_back(static_cast<ULONGLONG>(t->u1.Ordinal));
    }
    return thunks;
}

TEST(TcpClient, WindowsSocketsImportedByOrdinalOnly)
{
    bool found = false;
    const auto thunks = Wsock32Thunks(&found);
    ASSERT_TRUE(found);
    ASSERT_FALSE(thunks.empty());
    for (ULONGLONG thunk : thunks) EXPECT_TRUE(IMAGE_SNAP_BY_ORDINAL(thunk)) << std::hex << thunk;
}

TEST(TcpClient, EveryStartIsCleanedUp)
{
    const std::string reply = "HTTP/1.0 200 Ok\r\n\r\nbody";
    HttpPeer good("--reply " + SaveReply("balanced.reply", reply));
    HttpPeer silent("--mode stall --cut 0 --reply " + SaveReply("balanced.reply", reply));
    ExchangeProfile profile = kOcspExchange;
    profile.receiveTimeoutMs = 300;
    const unsigned char request[] = {0x30, 0x00};
    std::vector<unsigned char> body;
    EXPECT_EQ(PostHttpExchange(good.Url("/").c_str(), request, sizeof request, profile, body), 0u);
    EXPECT_EQ(PostHttpExchange(silent.Url("/").c_str(), request, sizeof request, profile, body), profile.receiveError);
    EXPECT_EQ(PostHttpExchange("http://127.0.0.1:9/", request, sizeof request, profile, body), profile.connectError);
    {
        TcpConnection connection;
        EXPECT_EQ(ConnectToHost("127.0.0.1", static_cast<std::uint16_t>(good.Port()), 2000, &connection), kConnected);
    }
    // No start is left open: one more clean-up finds Windows Sockets not started.
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(TcpClient, NamesAreResolvedAndCountsKept)
{
    const std::string reply = "HTTP/1.0 200 Ok\r\n\r\n0123456789";
    HttpPeer peer("--reply " + SaveReply("counts.reply", reply));
    const std::uint16_t port = static_cast<std::uint16_t>(peer.Port());
    const unsigned char request[] = "POST / HTTP/1.0\r\n\r\n";

    TcpConnection connection;
    ASSERT_EQ(ConnectToHost("localhost", port, 2000, &connection), kConnected);  // by name
    ASSERT_EQ(SendOrClose(&connection, request, sizeof request - 1), static_cast<long>(sizeof request - 1));
    unsigned char buffer[64] = {};
    EXPECT_EQ(ReceiveExactly(&connection, buffer, 0, 1000), 0);
    EXPECT_EQ(ReceiveExactly(&connection, buffer, -3, 1000), -3);
    EXPECT_EQ(ReceiveExactly(&connection, buffer, 19, 2000), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 19), "HTTP/1.0 200 Ok\r\n\r\n");
    // Ten bytes are left; asking for twenty leaves ten missing once the peer closes.
    EXPECT_EQ(ReceiveExactly(&connection, buffer, 20, 2000), 10);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 10), "0123456789");

    TcpConnection closed;
    EXPECT_EQ(SendOrClose(&closed, request, 4), -1);
    EXPECT_EQ(ReceiveUntilClosed(&closed, buffer, sizeof buffer, 100), -1);
    EXPECT_EQ(ConnectToHost("", port, 100, &closed), kConnectUnresolved);
}

}  // namespace
