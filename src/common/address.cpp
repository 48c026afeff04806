#include "common/address.h"

#include <algorithm>

namespace common {

std::optional<boost::asio::ip::address> addressLiteral(std::string_view text)
{
    if (text.find('\0') != std::string_view::npos)
        return std::nullopt;
    boost::system::error_code error;
    const auto address = boost::asio::ip::make_address(std::string(text), error);
    if (error)
        return std::nullopt;
    return address;
}

bool isHostName(std::string_view host)
{
    if (host.empty() || host.size() > 253)
        return false;
    if (addressLiteral(host))
        return true;
    if (host.back() == '.')
        host.remove_suffix(1);
    while (true) {
        const std::size_t dot = host.find('.');
        const std::string_view label = host.substr(0, dot);
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        for (const char c : label)
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'))
                return false;
        // An all-digit last label would be read as a shortened IPv4
        // address ("10.1" is 10.0.0.1) by the resolver.
        if (dot == std::string_view::npos)
            return !std::all_of(label.begin(), label.end(), [](char c) { return c >= '0' && c <= '9'; });
        host.remove_prefix(dot + 1);
    }
}

bool isHostHeaderName(std::string_view text)
{
    return !text.empty() && text.size() <= 253 && !addressLiteral(text)
        && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'
                   || c == '.' || c == '_';
           });
}

std::string hostAndPort(std::string_view host, unsigned port)
{
    const bool v6 = host.find(':') != std::string_view::npos;
    return (v6 ? "[" + std::string(host) + "]" : std::string(host)) + ":" + std::to_string(port);
}

boost::asio::ip::address unwrapped(const boost::asio::ip::address &address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
    return address;
}

boost::asio::ip::address preferredAddress(std::span<const boost::asio::ip::address> resolved)
{
    for (const auto &address : resolved)
        if (unwrapped(address).is_v4())
            return unwrapped(address);
    return resolved.front();
}

}
