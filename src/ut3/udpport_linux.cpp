#include "ut3/udpport_platform.h"

#include <linux/errqueue.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace ut3::platform {

namespace {

// IPv4-mapped IPv6 addresses as the IPv4 address they carry: a report on
// an IPv6 socket may name an IPv4 sender either way.
boost::asio::ip::address plain(const boost::asio::ip::address &address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
    return address;
}

std::optional<boost::asio::ip::udp::endpoint> endpointOf(const sockaddr *address, std::size_t bytes)
{
    boost::asio::ip::udp::endpoint endpoint;
    if (!address || bytes < sizeof(sa_family_t))
        return std::nullopt;
    if (address->sa_family == AF_INET && bytes >= sizeof(sockaddr_in))
        std::memcpy(endpoint.data(), address, sizeof(sockaddr_in));
    else if (address->sa_family == AF_INET6 && bytes >= sizeof(sockaddr_in6))
        std::memcpy(endpoint.data(), address, sizeof(sockaddr_in6));
    else
        return std::nullopt;
    return endpoint;
}

}

std::optional<int> believedError(const sock_extended_err &report, const sockaddr *offender, std::size_t offenderBytes,
                                 const boost::asio::ip::udp::endpoint &to)
{
    const int error = int(report.ee_errno);
    if (error != ECONNREFUSED)
        return error; // a reason shown at the deadline at most: it ends nothing
    const auto sender = endpointOf(offender, offenderBytes);
    if (!sender || plain(sender->address()) != plain(to.address()) || (sender->port() != 0 && sender->port() != to.port()))
        return std::nullopt;
    return error;
}

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
            const bool recvErr = (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR)
                                 || (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_RECVERR);
            if (!recvErr || c->cmsg_len < CMSG_LEN(sizeof(sock_extended_err)))
                continue;
            sock_extended_err error;
            std::memcpy(&error, CMSG_DATA(c), sizeof error);
            // The offender follows the report, where the system gives one.
            sockaddr_storage offender{};
            const std::size_t offenderBytes = std::min(sizeof offender, std::size_t(c->cmsg_len - CMSG_LEN(sizeof error)));
            std::memcpy(&offender, CMSG_DATA(c) + sizeof error, offenderBytes);
            if (const auto believed = believedError(error, reinterpret_cast<const sockaddr *>(&offender), offenderBytes, target))
                report(target, *believed);
        }
    }
}

}
