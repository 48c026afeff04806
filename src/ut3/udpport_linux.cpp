#include "ut3/udpport_platform.h"

#include <linux/errqueue.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cstring>

namespace ut3::platform {

int sendMessages(int socket, Message *messages, unsigned count)
{
    return ::sendmmsg(socket, messages, count, MSG_DONTWAIT);
}

int receiveMessages(int socket, Message *messages, unsigned count)
{
    return ::recvmmsg(socket, messages, count, MSG_DONTWAIT, nullptr);
}

void tuneSocket(int socket, bool v6, std::size_t receiveBufferBytes)
{
    const int size = int(receiveBufferBytes);
    // Beyond the system's limit only with the privilege to force it.
    if (setsockopt(socket, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
        setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    const int on = 1;
    setsockopt(socket, v6 ? IPPROTO_IPV6 : IPPROTO_IP, v6 ? IPV6_RECVERR : IP_RECVERR, &on, sizeof on);
}

void readErrorReports(int socket, const std::function<void(const boost::asio::ip::udp::endpoint &, int)> &report)
{
    while (true) {
        boost::asio::ip::udp::endpoint target;
        std::array<char, 512> control;
        std::array<std::uint8_t, 64> ignored; // the start of the datagram that failed
        iovec data{ignored.data(), ignored.size()};
        msghdr message{.msg_name = target.data(), .msg_namelen = socklen_t(target.capacity()), .msg_iov = &data, .msg_iovlen = 1,
                       .msg_control = control.data(), .msg_controllen = control.size()};
        if (::recvmsg(socket, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
            return;
        target.resize(message.msg_namelen);
        for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if ((c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR) || (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_RECVERR)) {
                sock_extended_err error;
                std::memcpy(&error, CMSG_DATA(c), sizeof error);
                report(target, int(error.ee_errno));
            }
        }
    }
}

}
