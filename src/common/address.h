#pragma once

#include <boost/asio/ip/address.hpp>

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace common {

// An IP address literal read from the whole text: unlike the library's own
// reading, which stops at a NUL, "127.0.0.1\0anything" is no address.
std::optional<boost::asio::ip::address> addressLiteral(std::string_view text);

// A host name or an IPv4 or IPv6 literal, without brackets or port: the
// one rule for what may be looked up. A name is dot-separated labels of
// letters, digits and inner hyphens (a fully qualified one may end in a
// dot), nothing that could end a line or a field.
bool isHostName(std::string_view host);

// A name a request's Host field may give, and --allow-host may list: not an
// address, and more lenient than isHostName, as names that clients send
// (with underscores, say) are only compared, never looked up.
bool isHostHeaderName(std::string_view text);

// "203.0.113.9:7777" or "[2001:db8::9]:7777": an IPv6 literal goes in
// brackets, so that its colons are not read as the port's.
std::string hostAndPort(std::string_view host, unsigned port);

// The address as a service on it would be reached: IPv4-mapped IPv6 unwrapped.
boost::asio::ip::address unwrapped(const boost::asio::ip::address &address);

// Which of the addresses a name resolved to is asked: the first IPv4 one,
// as game servers rarely listen on IPv6 (and "localhost" often lists ::1
// first), else the first. Not empty.
boost::asio::ip::address preferredAddress(std::span<const boost::asio::ip::address> resolved);

}
