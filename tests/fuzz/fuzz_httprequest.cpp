// libFuzzer target for the service's request path short of the network:
// Beast's request parser under the service's limits, then the service's own
// checks of the head (framing, Host) under each Host rule, the parameters of
// a status page and of a player search with its page, and the request's log
// line. Build with clang:
//   cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DSKIRVANE_FUZZ=ON
//   cmake --build build/fuzz --target fuzz_httprequest
//   mkdir -p found-http && build/fuzz/bin/fuzz_httprequest found-http tests/fuzz/corpus-http
// The input is what a client sends on one connection; requests after the
// first are parsed as a pipelining client's would be. An input that once
// broke the path belongs in tests/fuzz/corpus-http.
#include "queryd/options.h"
#include "queryd/renderhtml.h"
#include "queryd/requesthead.h"
#include "queryd/requestlog.h"
#include "queryd/statusrequest.h"

#include "common/utf8.h"

#include <boost/beast/http.hpp>

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

namespace http = boost::beast::http;

bool hasControl(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

// What a status request that passed must be: an address without control
// characters that is a literal or a name, a query port above 0.
void checkRequest(const queryd::StatusRequest &request)
{
    if (request.address.empty() || hasControl(request.address) || request.queryPort == 0)
        std::abort();
}

void checkRefusals(const http::request_header<> &head)
{
    queryd::ServiceOptions local;
    queryd::ServiceOptions open;
    open.publicService = true;
    queryd::ServiceOptions named = local;
    named.allowedHosts = {"query.example.org"};
    for (const queryd::ServiceOptions *options : {&local, &open, &named}) {
        const auto verdict = queryd::judgeHead(head, *options);
        const auto *refusal = std::get_if<queryd::HeadRefusal>(&verdict);
        if (refusal && refusal->status != 400 && refusal->status != 403)
            std::abort();
        // A public service without names refuses no Host as foreign.
        if (refusal && refusal->status == 403 && options == &open)
            std::abort();
    }
}

// What a player search that passed must be: 2 to 32 characters of UTF-8,
// echoed on its page without a bidirectional control left in.
void checkSearch(std::string_view query)
{
    const auto parsed = queryd::parsePlayerSearch(query);
    if (!parsed) {
        queryd::messagePage("The search cannot be made", parsed.fault().message);
        return;
    }
    std::size_t characters = 0;
    for (std::size_t i = 0; i < parsed->name.size(); ++characters) {
        const auto character = common::utf8At(parsed->name, i);
        if (!character)
            std::abort();
        i += character->second;
    }
    if (characters < 2 || characters > 32)
        std::abort();
    const std::string page = queryd::playerSearchPage(parsed->name, {});
    for (const std::string_view control : {"\u202a", "\u202b", "\u202c", "\u202d", "\u202e", "\u2066", "\u2067", "\u2068", "\u2069"})
        if (page.find(control) != std::string::npos)
            std::abort();
}

void checkTarget(std::string_view target)
{
    const std::string line = queryd::requestLogLine({}, "127.0.0.1", "GET", target, 200, {});
    if (line.empty() || line.find('\n') != line.size() - 1)
        std::abort();
    const std::size_t question = target.find('?');
    if (question == std::string_view::npos)
        return;
    checkSearch(target.substr(question + 1));
    const auto parsed = queryd::parseStatusRequest(target.substr(question + 1));
    if (parsed)
        return checkRequest(*parsed);
    // The complaint quotes the input back; escaping it is the page's part.
    queryd::messagePage("The query cannot be made", parsed.fault().message);
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string_view input(reinterpret_cast<const char *>(data), size);
    for (int request = 0; request < 4 && !input.empty(); ++request) {
        http::request_parser<http::empty_body> parser;
        parser.header_limit(8192);
        parser.body_limit(0);
        parser.eager(true);
        boost::beast::error_code error;
        const std::size_t used = parser.put(boost::asio::buffer(input.data(), input.size()), error);
        if (!parser.is_header_done())
            return 0;
        checkRefusals(parser.get().base());
        checkTarget(std::string_view(parser.get().target().data(), parser.get().target().size()));
        if (error || !parser.is_done())
            return 0;
        input.remove_prefix(used);
    }
    return 0;
}
