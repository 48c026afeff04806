#include "ut3/udpport_platform.h"

#include <sys/socket.h>

namespace ut3::platform {

// One call per datagram; the socket does not block.
int sendMessages(int socket, Message *messages, unsigned count)
{
    unsigned sent = 0;
    for (; sent < count; ++sent)
        if (::sendmsg(socket, &messages[sent].msg_hdr, 0) < 0)
            return sent > 0 ? int(sent) : -1;
    return int(sent);
}

int receiveMessages(int socket, Message *messages, unsigned count)
{
    unsigned received = 0;
    for (; received < count; ++received) {
        const ssize_t length = ::recvmsg(socket, &messages[received].msg_hdr, 0);
        if (length < 0)
            return received > 0 ? int(received) : -1;
        messages[received].msg_len = unsigned(length);
    }
    return int(received);
}

void tuneSocket(int socket, bool, std::size_t receiveBufferBytes)
{
    const int size = int(receiveBufferBytes);
    setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

void readErrorReports(int, const std::function<void(const boost::asio::ip::udp::endpoint &, int)> &) {}

}
