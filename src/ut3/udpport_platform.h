#pragma once

#include <boost/asio/ip/udp.hpp>

#include <sys/socket.h>

#include <cstddef>
#include <functional>
#include <optional>

#ifdef __linux__
struct sock_extended_err;
#endif

// What the UDP port asks of the system beyond portable sockets: one file
// per system that has more to give (udpport_linux.cpp), and a portable one.
namespace ut3::platform {

// A datagram's header and, once one is received, its length.
#ifdef __linux__
using Message = mmsghdr;
#else
struct Message {
    msghdr msg_hdr;
    unsigned msg_len;
};
#endif

// Send the datagrams from the first, as many as the socket takes now, in
// as few calls as the system allows: how many left, or -1 and errno.
int sendMessages(int socket, Message *messages, unsigned count);
// Receive up to count datagrams that have arrived, without waiting: how
// many, or -1 and errno.
int receiveMessages(int socket, Message *messages, unsigned count);

// The receive buffer and, where the system can, ICMP errors kept with the
// address they concern.
void tuneSocket(int socket, bool v6, std::size_t receiveBufferBytes);

// Hands on each ICMP error waiting on the socket that is to be believed,
// as an errno value. Where none are kept, a closed port's query ends at
// its deadline.
void readErrorReports(int socket, const std::function<void(const boost::asio::ip::udp::endpoint &to, int error)> &report);

#ifdef __linux__
// What one report of the error queue says about the address a datagram
// went to, as an errno value, or nothing when it is not to be believed.
// The socket's port is known to every server it queries, so anyone may
// send an ICMP "port unreachable" naming any server: it ends a query only
// when it comes from the server's own address (the offender, which the
// system gives without a port for ICMP), never from a third address or
// with none.
std::optional<int> believedError(const sock_extended_err &report, const sockaddr *offender, std::size_t offenderBytes,
                                 const boost::asio::ip::udp::endpoint &to);
#endif

}
