#include "queryd/listenaddress.h"

#include "common/number.h"
#include "common/address.h"

namespace queryd {

std::optional<boost::asio::ip::tcp::endpoint> parseListenAddress(std::string_view text)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    std::string_view host = text.substr(0, colon);
    const std::string_view portText = text.substr(colon + 1);
    const bool bracketed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
    if (bracketed)
        host = host.substr(1, host.size() - 2);
    const auto port = common::wholeNumber<unsigned>(portText, 0, 65535);
    if (!port)
        return std::nullopt;
    boost::system::error_code bad;
    const auto address = boost::asio::ip::make_address(std::string(host), bad);
    // An IPv6 address must come in brackets, so that its colons are not read as the port's.
    if (bad || address.is_v6() != bracketed)
        return std::nullopt;
    return boost::asio::ip::tcp::endpoint(address, static_cast<unsigned short>(*port));
}

std::string endpointText(const boost::asio::ip::tcp::endpoint &endpoint)
{
    return common::hostAndPort(endpoint.address().to_string(), endpoint.port());
}

std::vector<boost::asio::ip::tcp::endpoint> defaultListenAddresses()
{
    return {*parseListenAddress("127.0.0.1:8650"), *parseListenAddress("[::1]:8650")};
}

}
