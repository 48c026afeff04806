#include "ut3/udpport.h"
#include "ut3/udpport_platform.h"

#include <boost/asio/post.hpp>

#include <sys/socket.h>

#include <array>
#include <cerrno>

namespace ut3 {

namespace asio = boost::asio;
using asio::ip::udp;

namespace {

// The largest datagram UDP can carry; UT3 replies are well over 1 KiB.
constexpr std::size_t datagramBytes = 64 * 1024;
constexpr std::size_t batch = 32;
// Batches read in one turn at most: while replies keep coming, reading them
// all would keep the timers from ever running.
constexpr std::size_t batchesPerTurn = 8;
// The most datagrams handed to the system in one call.
constexpr std::size_t sendBatch = 1024;

}

UdpPort::UdpPort(asio::io_context &io, udp protocol, std::size_t receiveBufferBytes, Handlers handlers)
    : m_io(io), m_socket(io, protocol), m_handlers(std::move(handlers)), m_buffers(new std::uint8_t[batch * datagramBytes])
{
    m_socket.non_blocking(true);
    platform::tuneSocket(m_socket.native_handle(), protocol == udp::v6(), receiveBufferBytes);
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
    std::vector<platform::Message> messages(outbox.size());
    for (std::size_t i = 0; i < outbox.size(); ++i) {
        data[i] = {outbox[i].datagram.data(), outbox[i].datagram.size()};
        messages[i].msg_hdr = {.msg_name = outbox[i].to.data(), .msg_namelen = socklen_t(outbox[i].to.size()), .msg_iov = &data[i], .msg_iovlen = 1};
    }
    for (std::size_t done = 0; done < messages.size();) {
        const int sent = platform::sendMessages(m_socket.native_handle(), messages.data() + done,
                                                unsigned(std::min(sendBatch, messages.size() - done)));
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
        if (const auto self = weak.lock())
            self->readTurn(!error);
    });
}

void UdpPort::readTurn(bool readable)
{
    // Still armed while reading, so that a handler that listens again does
    // not start a second wait.
    const bool more = readable && drain();
    m_armed = false;
    // Also after a cancel: listening may have begun again since.
    if (!m_listening)
        return;
    if (!more)
        return arm();
    // Replies still waiting get their turn after the timers and other work
    // that came due meanwhile.
    m_armed = true;
    asio::post(m_io, [weak = weak_from_this()] {
        if (const auto self = weak.lock())
            self->readTurn(true);
    });
}

bool UdpPort::drain()
{
    std::array<udp::endpoint, batch> senders;
    std::array<iovec, batch> data;
    std::array<platform::Message, batch> messages;
    for (std::size_t turn = 0; m_listening; ++turn) {
        if (turn == batchesPerTurn)
            return true;
        for (std::size_t i = 0; i < batch; ++i) {
            data[i] = {m_buffers.get() + i * datagramBytes, datagramBytes};
            messages[i] = {.msg_hdr = {.msg_name = senders[i].data(), .msg_namelen = socklen_t(senders[i].capacity()), .msg_iov = &data[i], .msg_iovlen = 1}};
        }
        const int received = platform::receiveMessages(m_socket.native_handle(), messages.data(), batch);
        if (received < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            // An ICMP error is reported here once; its details wait in the error queue.
            if (errno != EINTR)
                platform::readErrorReports(m_socket.native_handle(), m_handlers.unreachable);
            continue;
        }
        for (int i = 0; i < received; ++i) {
            senders[i].resize(messages[i].msg_hdr.msg_namelen);
            if (messages[i].msg_hdr.msg_flags & MSG_TRUNC)
                m_handlers.oversized(senders[i]);
            else
                m_handlers.datagram(senders[i], ByteView(m_buffers.get() + i * datagramBytes, messages[i].msg_len));
        }
        // The answers to this batch leave before the next is read, so that
        // servers work on them while more replies are read.
        if (!m_outbox.empty() && !m_waitingForRoom)
            flush();
        // A batch not filled found the socket empty; what comes later is
        // the next wait's.
        if (std::size_t(received) < batch)
            break;
    }
    platform::readErrorReports(m_socket.native_handle(), m_handlers.unreachable);
    return false;
}

}
