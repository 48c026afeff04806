#include "ut3/udpport.h"

#include <boost/asio/post.hpp>

#include <linux/errqueue.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace ut3 {

namespace asio = boost::asio;
using asio::ip::udp;

namespace {

// The largest datagram UDP can carry; UT3 replies are well over 1 KiB.
constexpr std::size_t datagramBytes = 64 * 1024;
constexpr std::size_t batch = 32;
// The most datagrams one sendmmsg call takes.
constexpr std::size_t sendBatch = 1024;

udp::endpoint endpointFrom(const sockaddr_storage &address, socklen_t length)
{
    udp::endpoint endpoint;
    std::memcpy(endpoint.data(), &address, std::min<std::size_t>(length, sizeof address));
    endpoint.resize(std::min<std::size_t>(length, sizeof address));
    return endpoint;
}

}

UdpPort::UdpPort(asio::io_context &io, udp protocol, std::size_t receiveBufferBytes, Handlers handlers)
    : m_io(io), m_socket(io, protocol), m_handlers(std::move(handlers)), m_buffers(new std::uint8_t[batch * datagramBytes])
{
    m_socket.non_blocking(true);
    const int fd = m_socket.native_handle();
    const int size = int(receiveBufferBytes);
    // Beyond the system's limit only with the privilege to force it.
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    const int on = 1;
    if (protocol == udp::v6())
        setsockopt(fd, IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof on);
    else
        setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
}

void UdpPort::send(const udp::endpoint &to, Bytes datagram)
{
    if (m_outbox.empty() && !m_waitingForRoom) {
        asio::post(m_io, [weak = weak_from_this()] {
            if (const auto self = weak.lock())
                self->flush();
        });
    }
    m_outbox.push_back({to, std::move(datagram)});
}

void UdpPort::flush()
{
    std::vector<Outgoing> outbox;
    outbox.swap(m_outbox);
    std::vector<iovec> data(outbox.size());
    std::vector<mmsghdr> messages(outbox.size());
    for (std::size_t i = 0; i < outbox.size(); ++i) {
        data[i] = {outbox[i].datagram.data(), outbox[i].datagram.size()};
        messages[i].msg_hdr.msg_name = outbox[i].to.data();
        messages[i].msg_hdr.msg_namelen = socklen_t(outbox[i].to.size());
        messages[i].msg_hdr.msg_iov = &data[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    for (std::size_t done = 0; done < messages.size();) {
        const int sent = ::sendmmsg(m_socket.native_handle(), messages.data() + done,
                                    unsigned(std::min(sendBatch, messages.size() - done)), MSG_DONTWAIT);
        if (sent > 0) {
            done += std::size_t(sent);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // The send buffer is full: the rest goes first once there is room.
            m_waitingForRoom = true;
            m_outbox.insert(m_outbox.begin(), std::make_move_iterator(outbox.begin() + std::ptrdiff_t(done)), std::make_move_iterator(outbox.end()));
            // Also after a cancel, so that nothing stays queued for good.
            m_socket.async_wait(udp::socket::wait_write, [weak = weak_from_this()](const boost::system::error_code &) {
                if (const auto self = weak.lock()) {
                    self->m_waitingForRoom = false;
                    self->flush();
                }
            });
            return;
        } else if (errno != EINTR) {
            // The first of them could not leave this host at all.
            m_handlers.sendFailed(outbox[done].to, errno);
            ++done;
        }
    }
}

void UdpPort::listen()
{
    m_listening = true;
    if (!m_armed)
        arm();
}

void UdpPort::stopListening()
{
    m_listening = false;
    m_socket.cancel();
}

void UdpPort::arm()
{
    m_armed = true;
    m_socket.async_wait(udp::socket::wait_read, [weak = weak_from_this()](const boost::system::error_code &error) {
        const auto self = weak.lock();
        if (!self)
            return;
        self->m_armed = false;
        if (!error)
            self->drain();
        // Also after a cancel: listening may have begun again since.
        if (self->m_listening && !self->m_armed)
            self->arm();
    });
}

void UdpPort::drain()
{
    std::array<sockaddr_storage, batch> senders;
    std::array<iovec, batch> data;
    std::array<mmsghdr, batch> messages;
    while (m_listening) {
        for (std::size_t i = 0; i < batch; ++i) {
            data[i] = {m_buffers.get() + i * datagramBytes, datagramBytes};
            messages[i] = {};
            messages[i].msg_hdr.msg_name = &senders[i];
            messages[i].msg_hdr.msg_namelen = sizeof senders[i];
            messages[i].msg_hdr.msg_iov = &data[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        const int received = ::recvmmsg(m_socket.native_handle(), messages.data(), batch, MSG_DONTWAIT, nullptr);
        if (received < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            // An ICMP error is reported here once; its details wait in the error queue.
            if (errno != EINTR)
                readErrors();
            continue;
        }
        for (int i = 0; i < received; ++i) {
            const udp::endpoint from = endpointFrom(senders[i], messages[i].msg_hdr.msg_namelen);
            if (messages[i].msg_hdr.msg_flags & MSG_TRUNC)
                m_handlers.oversized(from);
            else
                m_handlers.datagram(from, ByteView(m_buffers.get() + i * datagramBytes, messages[i].msg_len));
        }
        // The answers to this batch leave before the next is read, so that
        // servers work on them while more replies are read.
        if (!m_outbox.empty() && !m_waitingForRoom)
            flush();
    }
    readErrors();
}

void UdpPort::readErrors()
{
    while (true) {
        sockaddr_storage target{};
        std::array<char, 512> control;
        std::array<std::uint8_t, 64> ignored; // the start of the datagram that failed
        iovec data{ignored.data(), ignored.size()};
        msghdr message{};
        message.msg_name = &target;
        message.msg_namelen = sizeof target;
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        if (::recvmsg(m_socket.native_handle(), &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
            return;
        for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if ((c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR) || (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_RECVERR)) {
                sock_extended_err report;
                std::memcpy(&report, CMSG_DATA(c), sizeof report);
                m_handlers.unreachable(endpointFrom(target, message.msg_namelen), int(report.ee_errno));
            }
        }
    }
}

}
