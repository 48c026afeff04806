#include "ut3/target.h"

#include "common/number.h"
#include "common/address.h"

namespace ut3 {

namespace {

common::Expected<QueryTarget> withPort(std::string_view host, std::string_view portText, std::string_view whole)
{
    const auto quoted = [&] { return "\"" + std::string(whole) + "\""; };
    if (!common::isHostName(host))
        return common::Fault{quoted() + " is not a host name or address"};
    const auto port = common::wholeNumber<unsigned>(portText, 1, 65535);
    if (!port)
        return common::Fault{quoted() + ": the port must be a number from 1 to 65535"};
    return QueryTarget{std::string(host), std::uint16_t(*port)};
}

}

common::Expected<QueryTarget> parseTarget(std::string_view text)
{
    const std::string defaultPort = std::to_string(defaultQueryPort);
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos)
            return common::Fault{"\"" + std::string(text) + "\": \"[\" without \"]\""};
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return common::Fault{"\"" + std::string(text) + "\": only \":PORT\" may follow \"]\""};
        return withPort(text.substr(1, close - 1), rest.empty() ? std::string_view(defaultPort) : rest.substr(1), text);
    }
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return withPort(text, defaultPort, text);
    if (text.find(':', colon + 1) != std::string_view::npos)
        return withPort(text, defaultPort, text); // a bare IPv6 literal
    return withPort(text.substr(0, colon), text.substr(colon + 1), text);
}

}
