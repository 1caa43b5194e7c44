// A blocking TCP client over Windows Sockets 1.1, imported by ordinal from
// wsock32.dll. Every wait is bounded: a silent, stalling or trickling peer
// ends in a failure, not a hang.
#pragma once
#include <winsock.h>

#include <cstddef>
#include <cstdint>

#include "platform/owner.h"

namespace owner_traits {
struct Socket {
    static void Release(SOCKET s) { closesocket(s); }
};
struct WinsockSession {
    static void Release(bool) { WSACleanup(); }
};
}  // namespace owner_traits

// Windows never hands out socket 0, so it stands for "none".
using TSocket = TOwner<SOCKET, owner_traits::Socket>;
// Holds true while a successful WSAStartup awaits its WSACleanup.
using TWinsockSession = TOwner<bool, owner_traits::WinsockSession>;

// One connection: the socket is closed before Windows Sockets is cleaned up.
struct TcpConnection {
    TWinsockSession session;
    TSocket socket;
};

enum ConnectResult : int {
    kConnected = 0,
    kConnectNoWinsock = -1,   // Windows Sockets 1.1 cannot be started
    kConnectNoSocket = -2,    // no socket can be made
    kConnectFailed = -3,      // refused, unreachable or out of time
    kConnectUnresolved = -4,  // the host name has no address
};

// Connects to host (a dotted IPv4 address, else a name) and port within
// timeoutMs. On kConnected the connection holds the open socket; on a
// failure it holds nothing.
ConnectResult ConnectToHost(const char* host, std::uint16_t port, unsigned timeoutMs,
                            TcpConnection* connection);

// Sends all length bytes, looping over partial sends. The count sent
// (length) or -1, when the socket is closed.
long SendOrClose(TcpConnection* connection, const unsigned char* data, std::size_t length);

// Receives into buffer until the peer closes, or until a reply whose
// Content-Length is known is complete (the peer is then given a moment to
// close, so that more bytes than announced are seen). One byte of the
// buffer stays spare: a full buffer before the close is a failure, as is a
// connection error or timeoutMs passing. The count received (0 when the
// peer closed at once), or -1 on failure.
long ReceiveUntilClosed(TcpConnection* connection, unsigned char* buffer, std::size_t size,
                        unsigned timeoutMs);

// Receives count bytes; the number still missing (0 when all arrived) once
// the peer closes, an error occurs or timeoutMs passes. A count below 1 is
// returned unchanged.
long ReceiveExactly(TcpConnection* connection, unsigned char* buffer, long count, unsigned timeoutMs);
