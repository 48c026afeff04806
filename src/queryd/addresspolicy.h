#pragma once

#include <boost/asio/ip/address.hpp>

#include <optional>
#include <string>

namespace queryd {

// Why a public service must not send a query to this address, or nothing
// when it may. IPv4-mapped IPv6 addresses are judged by the IPv4 address
// they carry. Only a service reachable from the internet applies this: a
// local one may well be asked about servers on its LAN.
std::optional<std::string> refusalForPublicService(const boost::asio::ip::address &address);

// The address as a service on it would be reached: IPv4-mapped IPv6 unwrapped.
boost::asio::ip::address unwrapped(const boost::asio::ip::address &address);

}
