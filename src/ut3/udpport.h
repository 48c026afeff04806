#pragma once

#include "ut3/packets.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ut3 {

// One UDP socket shared by every query of an address family. Datagrams to
// send are queued and leave together, many per system call, once the
// current handler returns; arriving ones are read many per call, in turns
// of a bounded number, until the socket would block. ICMP errors come back with the address they concern
// where the system can (udpport_platform.h), so that one closed port is told
// apart on a socket shared by all.
class UdpPort final : public std::enable_shared_from_this<UdpPort> {
public:
    struct Handlers {
        std::function<void(const boost::asio::ip::udp::endpoint &from, ByteView datagram)> datagram;
        // A datagram too large for the receive buffer, cut by the system.
        std::function<void(const boost::asio::ip::udp::endpoint &from)> oversized;
        // An ICMP report about an address sent to, as an errno value; a
        // "port unreachable" only when it came from that address.
        std::function<void(const boost::asio::ip::udp::endpoint &to, int error)> unreachable;
        // A datagram that could not leave this host at all.
        std::function<void(const boost::asio::ip::udp::endpoint &to, int error)> sendFailed;
    };

    // Throws boost::system::system_error when no socket can be opened.
    UdpPort(boost::asio::io_context &io, boost::asio::ip::udp protocol, std::size_t receiveBufferBytes, Handlers handlers);
    UdpPort(const UdpPort &) = delete;
    UdpPort &operator=(const UdpPort &) = delete;

    void send(const boost::asio::ip::udp::endpoint &to, Bytes datagram);
    // Reading goes on, between handlers, until stopListening().
    void listen();
    void stopListening();

private:
    struct Outgoing {
        boost::asio::ip::udp::endpoint to;
        Bytes datagram;
    };

    void arm();
    void readTurn(bool readable);
    void flush();
    // Whether more may be waiting when it returns.
    bool drain();

    boost::asio::io_context &m_io;
    boost::asio::ip::udp::socket m_socket;
    Handlers m_handlers;
    std::vector<Outgoing> m_outbox;
    bool m_listening = false, m_armed = false;
    bool m_waitingForRoom = false;
    // Room for a batch of the largest datagrams; pages are only touched as
    // far as datagrams fill them.
    std::unique_ptr<std::uint8_t[]> m_buffers;
};

}
