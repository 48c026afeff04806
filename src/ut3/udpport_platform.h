#pragma once

#include <boost/asio/ip/udp.hpp>

#include <cstddef>
#include <functional>

// What the UDP port asks of the system beyond portable sockets: one file
// per system that has more to give (udpport_linux.cpp), and a portable one.
namespace ut3::platform {

// The receive buffer and, where the system can, ICMP errors kept with the
// address they concern.
void tuneSocket(int socket, bool v6, std::size_t receiveBufferBytes);

// Hands on each ICMP error waiting on the socket, as an errno value. Where
// none are kept, a closed port's query ends at its deadline.
void readErrorReports(int socket, const std::function<void(const boost::asio::ip::udp::endpoint &to, int error)> &report);

}
