#include "exchange/http_exchange.h"

#include <new>

#include "exchange/http_message.h"
#include "exchange/server_url.h"
#include "exchange/tcp_client.h"

std::uint32_t PostHttpExchange(const char* url, const unsigned char* request, std::size_t length,
                               const ExchangeProfile& profile, std::vector<unsigned char>& body)
{
    body.clear();
    ServerURL server;
    if (ParseResponderURL(url, &server) != 0) return profile.urlError;
    if (!request || length == 0) return profile.memoryError;

    std::vector<unsigned char> outgoing, reply;
    try {
        outgoing.resize(kHttpBufferSize);
        reply.resize(kHttpBufferSize);
    } catch (const std::bad_alloc&) {
        return profile.memoryError;
    }
    // A request that does not fit the buffer with its header is not sent.
    std::size_t outgoingLength = 0;
    if (ComposeOCSPPost(server.path, profile.userAgent, profile.requestType, request, length, outgoing.data(),
                        outgoing.size(), &outgoingLength) == 0)
        return profile.memoryError;

    long received = 0;
    {
        TcpConnection connection;
        if (ConnectToHost(server.host, server.port, profile.receiveTimeoutMs, &connection) != kConnected)
            return profile.connectError;
        if (SendOrClose(&connection, outgoing.data(), outgoingLength) != static_cast<long>(outgoingLength))
            return profile.sendError;
        received = ReceiveUntilClosed(&connection, reply.data(), reply.size(), profile.receiveTimeoutMs);
    }
    if (received <= 0) return profile.receiveError;

    HttpReplyBody where;
    switch (ParseHttpReply(reply.data(), static_cast<std::size_t>(received), profile.replyType, &where)) {
    case kHttpReplyAccepted:
        break;
    case kHttpReplyBadContentType:
        return profile.contentTypeError;
    default:
        return profile.headerError;
    }
    try {
        body.assign(reply.begin() + static_cast<std::ptrdiff_t>(where.offset),
                    reply.begin() + static_cast<std::ptrdiff_t>(where.offset + where.length));
    } catch (const std::bad_alloc&) {
        return profile.memoryError;
    }
    return 0;
}
