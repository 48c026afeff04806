#include "queryd/metricsoptions.h"

#include "queryd/addresspolicy.h"
#include "queryd/optionrows.h"

#include "common/number.h"
#include "common/address.h"

namespace queryd {

namespace {

constexpr std::size_t mostServers = 100000;

template<typename Bytes>
bool samePrefix(const Bytes &a, const Bytes &b, unsigned bits)
{
    for (std::size_t i = 0; bits > 0; ++i, bits -= std::min(bits, 8u)) {
        const unsigned mask = bits >= 8 ? 0xffu : (0xffu << (8 - bits)) & 0xffu;
        if ((a[i] & mask) != (b[i] & mask))
            return false;
    }
    return true;
}

}

bool Subnet::contains(const boost::asio::ip::address &given) const
{
    const boost::asio::ip::address address = common::unwrapped(given);
    if (address.is_v4() != network.is_v4())
        return false;
    if (address.is_v4())
        return samePrefix(address.to_v4().to_bytes(), network.to_v4().to_bytes(), bits);
    return samePrefix(address.to_v6().to_bytes(), network.to_v6().to_bytes(), bits);
}

std::optional<Subnet> parseSubnet(std::string_view text)
{
    const std::size_t slash = text.find('/');
    boost::system::error_code error;
    const auto address = boost::asio::ip::make_address(std::string(text.substr(0, slash)), error);
    if (error)
        return std::nullopt;
    const unsigned widest = address.is_v4() ? 32 : 128;
    std::optional<unsigned> bits = widest;
    if (slash != std::string_view::npos)
        bits = common::wholeNumber<unsigned>(text.substr(slash + 1), 0, widest);
    if (!bits)
        return std::nullopt;
    // "::ffff:10.0.0.0/104" means 10.0.0.0/8: clients are unwrapped alike.
    const auto network = common::unwrapped(address);
    if (network.is_v4() && address.is_v6())
        return *bits >= 96 ? std::optional<Subnet>(Subnet{network, *bits - 96}) : std::nullopt;
    return Subnet{network, *bits};
}

bool mayReadMetrics(const MetricsOptions &options, bool publicService, const boost::asio::ip::address &client)
{
    if (!publicService || common::unwrapped(client).is_loopback())
        return true;
    return std::any_of(options.readers.begin(), options.readers.end(),
                       [&](const Subnet &subnet) { return subnet.contains(client); });
}

common::OptionGroup metricsOptionGroup(MetricsOptions &options)
{
    return {"Metrics and health (/metrics for Prometheus, /healthz, /readyz):",
            {{"--metrics-from", {}, "CIDR",
              "with --public, clients in CIDR may read /metrics too (repeatable; loopback clients always may, others get "
              "403); without --public every client may",
              [&](std::string_view spelling, std::optional<std::string_view> text) -> common::Expected<common::Done> {
                  const auto subnet = text ? parseSubnet(*text) : std::nullopt;
                  if (!subnet)
                      return needs(spelling, "an address range such as 192.0.2.0/24 or 2001:db8::/32", text);
                  options.readers.push_back(*subnet);
                  return common::Done{};
              }},
             numberOption<std::size_t>("--metrics-max-servers", "N",
                                       "per-server figures for at most N of the polled servers (default 1000; 0: none)",
                                       0, mostServers, [&](std::size_t v) { options.maxServers = v; })}};
}

}
