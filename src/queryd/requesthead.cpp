#include "queryd/requesthead.h"

#include "common/number.h"
#include "common/address.h"

#include <boost/beast/http/field.hpp>

#include <algorithm>
#include <iterator>

namespace queryd {

namespace http = boost::beast::http;

namespace {

bool sameName(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

bool isPort(std::string_view text)
{
    return text.empty() || (text.size() <= 5 && common::wholeNumber<unsigned>(text, 0, 65535));
}

struct HostValue {
    std::string_view name; // an IPv6 address without its brackets
    bool address = false;
};

// "name", "name:port", "192.0.2.1:8650", "[::1]:8650"; nothing when the
// value is none of these.
std::optional<HostValue> parseHost(std::string_view value)
{
    if (value.starts_with('[')) {
        const std::size_t close = value.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        const std::string_view inside = value.substr(1, close - 1);
        const std::string_view rest = value.substr(close + 1);
        const auto address = common::addressLiteral(inside);
        if (!address || !address->is_v6() || !(rest.empty() || (rest.starts_with(':') && isPort(rest.substr(1)))))
            return std::nullopt;
        return HostValue{inside, true};
    }
    const std::size_t colon = value.find(':');
    const std::string_view name = value.substr(0, colon);
    if (colon != std::string_view::npos && !isPort(value.substr(colon + 1)))
        return std::nullopt;
    if (const auto address = common::addressLiteral(name); address && address->is_v4())
        return HostValue{name, true};
    if (!common::isHostHeaderName(name))
        return std::nullopt;
    return HostValue{name, false};
}

Verdict<HeadRefusal> judgeHost(const http::request_header<> &head, const ServiceOptions &options)
{
    const auto [first, last] = head.equal_range(http::field::host);
    const auto count = std::distance(first, last);
    if (count > 1)
        return HeadRefusal{400, "The request names its host more than once (Host)."};
    if (count == 0) {
        if (head.version() >= 11)
            return HeadRefusal{400, "An HTTP/1.1 request must name the host it is for (Host)."};
        return Admitted{};
    }
    const std::string_view value(first->value().data(), first->value().size());
    const auto host = parseHost(value);
    if (!host)
        return HeadRefusal{400, "The request's Host is not a host name or address, with or without a port."};
    if (options.publicService && options.allowedHosts.empty())
        return Admitted{};
    if (host->address || sameName(host->name, "localhost"))
        return Admitted{};
    for (const std::string &allowed : options.allowedHosts)
        if (sameName(host->name, allowed))
            return Admitted{};
    const std::string name(host->name);
    return HeadRefusal{403, "This service does not answer for the name " + name
                                + ". To serve it under that name, start it with --allow-host " + name + "."};
}

}

Verdict<HeadRefusal> judgeHead(const http::request_header<> &head, const ServiceOptions &options)
{
    if (head.count(http::field::transfer_encoding) > 0)
        return HeadRefusal{400, "Requests to this service carry no body, so a Transfer-Encoding is not accepted."};
    return judgeHost(head, options);
}

}
