#include "queryd/metricsoptions.h"

#include "queryd/addresspolicy.h"
#include "ut3/number.h"

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
    const boost::asio::ip::address address = unwrapped(given);
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
        bits = ut3::wholeNumber<unsigned>(text.substr(slash + 1), 0, widest);
    if (!bits)
        return std::nullopt;
    // "::ffff:10.0.0.0/104" means 10.0.0.0/8: clients are unwrapped alike.
    const auto network = unwrapped(address);
    if (network.is_v4() && address.is_v6())
        return *bits >= 96 ? std::optional<Subnet>(Subnet{network, *bits - 96}) : std::nullopt;
    return Subnet{network, *bits};
}

bool mayReadMetrics(const MetricsOptions &options, bool publicService, const boost::asio::ip::address &client)
{
    if (!publicService || unwrapped(client).is_loopback())
        return true;
    return std::any_of(options.readers.begin(), options.readers.end(),
                       [&](const Subnet &subnet) { return subnet.contains(client); });
}

std::optional<std::string> takeMetricsOptions(std::vector<std::string> &arguments, MetricsOptions &options)
{
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        if (name != "--metrics-from" && name != "--metrics-max-servers") {
            rest.push_back(argument);
            continue;
        }
        // "--name value" and "--name=value" alike.
        std::optional<std::string> value;
        if (equals != std::string::npos)
            value = argument.substr(equals + 1);
        else if (i + 1 < arguments.size())
            value = arguments[++i];
        const std::string was = value ? "; it was '" + *value + "'" : "";
        if (name == "--metrics-from") {
            const auto subnet = value ? parseSubnet(*value) : std::nullopt;
            if (!subnet)
                return "--metrics-from needs an address range such as 192.0.2.0/24 or 2001:db8::/32" + was;
            options.readers.push_back(*subnet);
        } else {
            const auto count = value ? ut3::wholeNumber<std::size_t>(*value, 0, mostServers) : std::nullopt;
            if (!count)
                return "--metrics-max-servers needs a whole number from 0 to " + std::to_string(mostServers) + was;
            options.maxServers = *count;
        }
    }
    arguments = std::move(rest);
    return std::nullopt;
}

std::string metricsHelp()
{
    return "\nMetrics and health (/metrics for Prometheus, /healthz, /readyz):\n"
           "  --metrics-from CIDR   with --public, clients in CIDR may read /metrics too\n"
           "                        (repeatable; loopback clients always may, others get\n"
           "                        403); without --public every client may\n"
           "  --metrics-max-servers N\n"
           "                        per-server figures for at most N of the polled servers\n"
           "                        (default 1000; 0: none)\n";
}

}
