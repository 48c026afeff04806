#pragma once

#include "queryd/verdict.h"

#include <boost/asio/ip/address.hpp>

#include <span>
#include <string>

namespace queryd {

// Why a public service does not query an address, as one sentence.
struct AddressRefusal {
    std::string sentence;
};

// Whether a public service may send a query to this address: only addresses the IANA special-purpose registries call
// globally reachable are queried. An address that carries an IPv4 address
// is judged by it where that is where packets go (IPv4-mapped, NAT64's
// well-known prefix) and refused where it is not plain (6to4, Teredo,
// IPv4-compatible, SIIT, local NAT64). Only a service reachable from the
// internet applies this: a local one may well be asked about servers on its
// LAN.
Verdict<AddressRefusal> judgeForPublicService(const boost::asio::ip::address &address);

// Which of the addresses a name resolved to is queried: the preferred one
// (common/address.h). A public service
// takes the first it refuses, if any, so that a name is queried only when
// every address it has may be.
boost::asio::ip::address chosenAddress(std::span<const boost::asio::ip::address> resolved, bool publicService);

}
