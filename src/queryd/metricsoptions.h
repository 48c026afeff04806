#pragma once

#include "common/options.h"

#include <boost/asio/ip/address.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace queryd {

// An address range in CIDR notation; a bare address is a range of one.
struct Subnet {
    boost::asio::ip::address network;
    unsigned bits = 0;

    // IPv4-mapped IPv6 addresses are judged by the IPv4 address they carry.
    bool contains(const boost::asio::ip::address &address) const;
};

// "10.0.0.0/8", "2001:db8::/32", "192.0.2.7"; nothing when the text is none.
std::optional<Subnet> parseSubnet(std::string_view text);

// Who may read /metrics and how much it shows; each has an option.
struct MetricsOptions {
    std::vector<Subnet> readers; // beyond loopback, on a public service
    std::size_t maxServers = 1000;
};

// Whether a client may read /metrics: anyone from a service that is not
// public; from a public one, loopback clients and the readers named.
bool mayReadMetrics(const MetricsOptions &options, bool publicService, const boost::asio::ip::address &client);

// The metrics' rows of the service's option table, filling in options.
common::OptionGroup metricsOptionGroup(MetricsOptions &options);

}
