#pragma once

#include "common/expected.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/address.hpp>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace common {

using ResolvedAddresses = Expected<std::vector<boost::asio::ip::address>>;

// Looks up a host name's addresses, in the order the system gives them,
// and calls done once: with the addresses, or with "cannot resolve HOST:
// reason" when the lookup fails or the deadline passes first. The system's
// lookup cannot be stopped; past the deadline its answer is dropped.
void resolveName(boost::asio::io_context &io, const std::string &host, std::chrono::steady_clock::time_point deadline,
                 std::function<void(ResolvedAddresses)> done);

}
