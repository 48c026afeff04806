#pragma once

#include <boost/asio/ip/tcp.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace queryd {

// "127.0.0.1:8650" or "[::1]:8650"; port 0 takes any free port.
std::optional<boost::asio::ip::tcp::endpoint> parseListenAddress(std::string_view text);

// "127.0.0.1:8650" or "[::1]:8650".
std::string endpointText(const boost::asio::ip::tcp::endpoint &endpoint);

// Where the service listens unless told otherwise: both loopback addresses,
// since "localhost" may resolve to either.
std::vector<boost::asio::ip::tcp::endpoint> defaultListenAddresses();

}
