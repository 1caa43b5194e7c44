#include "exchange/tcp_client.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "exchange/http_message.h"
#include "exchange/server_url.h"

namespace {

const unsigned kCloseGraceMs = 250;

// A bound on the whole of a wait made of several calls.
class Deadline {
public:
    explicit Deadline(unsigned ms) : start_(GetTickCount()), ms_(ms) {}
    unsigned Remaining() const
    {
        const DWORD spent = GetTickCount() - start_;
        return spent >= ms_ ? 0 : ms_ - spent;
    }

private:
    DWORD start_;
    unsigned ms_;
};

timeval ToTimeval(unsigned ms)
{
    timeval t;
    t.tv_sec = static_cast<long>(ms / 1000);
    t.tv_usec = static_cast<long>(ms % 1000) * 1000;
    return t;
}

// True when data (or the peer's close) is there to read within ms.
bool WaitReadable(SOCKET s, unsigned ms)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval limit = ToTimeval(ms);
    return select(0, &readable, nullptr, nullptr, &limit) == 1 && FD_ISSET(s, &readable);
}

bool SetNonBlocking(SOCKET s, bool on)
{
    u_long mode = on ? 1 : 0;
    return ioctlsocket(s, FIONBIO, &mode) == 0;
}

// connect, bounded: a host that never answers is given up after ms.
bool ConnectWithin(SOCKET s, const sockaddr_in& address, unsigned ms)
{
    if (!SetNonBlocking(s, true)) return false;
    if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK) return false;
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval limit = ToTimeval(ms);
        if (select(0, nullptr, &writable, &failed, &limit) < 1 || FD_ISSET(s, &failed) || !FD_ISSET(s, &writable))
            return false;
        int error = 0;
        int size = sizeof error;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0 || error != 0)
            return false;
    }
    return SetNonBlocking(s, false);
}

bool ResolveHost(const char* host, in_addr* address)
{
    if (IsDottedIPv4Address(host)) {
        address->s_addr = inet_addr(host);
        return true;
    }
    const hostent* entry = gethostbyname(host);
    if (!entry || entry->h_addrtype != AF_INET || entry->h_length != 4 || !entry->h_addr_list ||
        !entry->h_addr_list[0])
        return false;
    std::memcpy(address, entry->h_addr_list[0], 4);
    return true;
}

}  // namespace

ConnectResult ConnectToHost(const char* host, std::uint16_t port, unsigned timeoutMs, TcpConnection* connection)
{
    if (!connection) return kConnectFailed;
    connection->socket.Reset();
    connection->session.Reset();
    if (!host || !*host) return kConnectUnresolved;
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return kConnectNoWinsock;
    TWinsockSession session(true);

    sockaddr_in address;
    std::memset(&address, 0, sizeof address);
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (!ResolveHost(host, &address.sin_addr)) return kConnectUnresolved;

    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return kConnectNoSocket;
    TSocket owned(s);
    if (!ConnectWithin(s, address, timeoutMs)) return kConnectFailed;
    connection->session = std::move(session);
    connection->socket = std::move(owned);
    return kConnected;
}

long SendOrClose(TcpConnection* connection, const unsigned char* data, std::size_t length)
{
    if (!connection || !connection->socket || (!data && length > 0)) return -1;
    std::size_t sent = 0;
    while (sent < length) {
        const std::size_t chunk = length - sent > 0x10000 ? 0x10000 : length - sent;
        const int n = send(connection->socket.Get(), reinterpret_cast<const char*>(data + sent),
                           static_cast<int>(chunk), 0);
        if (n <= 0) {
            connection->socket.Reset();
            return -1;
        }
        sent += static_cast<std::size_t>(n);
    }
    return static_cast<long>(sent);
}

long ReceiveUntilClosed(TcpConnection* connection, unsigned char* buffer, std::size_t size, unsigned timeoutMs)
{
    if (!connection || !connection->socket || !buffer || size < 2) return -1;
    const SOCKET s = connection->socket.Get();
    const std::size_t room = size - 1;  // one byte kept for a terminator
    const Deadline deadline(timeoutMs);
    std::size_t total = 0;
    for (;;) {
        const std::size_t expected = ExpectedHttpReplyLength(buffer, total);
        const bool complete = expected != 0 && total >= expected;
        // Once the announced reply is in, the peer is given a moment to
        // close, so that more bytes than announced are still seen; one that
        // keeps the connection open is not waited for.
        const unsigned wait = complete ? std::min(kCloseGraceMs, deadline.Remaining()) : deadline.Remaining();
        if (!WaitReadable(s, wait)) return complete ? static_cast<long>(total) : -1;
        if (total == room) {
            // Full: only the peer's close makes it a whole reply.
            unsigned char probe;
            return recv(s, reinterpret_cast<char*>(&probe), 1, 0) == 0 ? static_cast<long>(total) : -1;
        }
        const int n = recv(s, reinterpret_cast<char*>(buffer + total), static_cast<int>(room - total), 0);
        if (n == 0) return static_cast<long>(total);
        if (n < 0) return -1;
        total += static_cast<std::size_t>(n);
    }
}

long ReceiveExactly(TcpConnection* connection, unsigned char* buffer, long count, unsigned timeoutMs)
{
    if (count < 1) return count;
    if (!connection || !connection->socket || !buffer) return count;
    const Deadline deadline(timeoutMs);
    long missing = count;
    while (missing > 0) {
        if (!WaitReadable(connection->socket.Get(), deadline.Remaining())) break;
        const int n = recv(connection->socket.Get(), reinterpret_cast<char*>(buffer + (count - missing)),
                           static_cast<int>(missing), 0);
        if (n <= 0) break;
        missing -= n;
    }
    return missing;
}
