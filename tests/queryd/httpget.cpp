#include "httpget.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <cctype>

namespace http = boost::beast::http;
using boost::asio::ip::tcp;

HttpReply httpGet(std::uint16_t port, const std::string &target)
{
    boost::asio::io_context io;
    tcp::socket socket(io);
    socket.connect({boost::asio::ip::make_address("127.0.0.1"), port});
    http::request<http::empty_body> request{http::verb::get, target, 11};
    request.set(http::field::host, "127.0.0.1");
    request.keep_alive(false);
    http::write(socket, request);
    boost::beast::flat_buffer buffer;
    http::response_parser<http::string_body> parser;
    parser.body_limit(64 * 1024 * 1024);
    http::read(socket, buffer, parser);
    HttpReply reply;
    reply.status = parser.get().result_int();
    for (const auto &field : parser.get()) {
        std::string name(field.name_string());
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
        reply.headers[name] = std::string(field.value());
    }
    reply.body = std::move(parser.get().body());
    return reply;
}

std::string rawExchange(std::uint16_t port, const std::string &request, const char *from)
{
    boost::asio::io_context io;
    tcp::socket socket(io, {boost::asio::ip::make_address(from), 0});
    socket.connect({boost::asio::ip::make_address("127.0.0.1"), port});
    boost::asio::write(socket, boost::asio::buffer(request));
    std::string answer;
    boost::system::error_code error;
    boost::asio::read(socket, boost::asio::dynamic_buffer(answer), error);
    return answer;
}

bool isValidUtf8(const std::string &text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = text[i];
        std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2)
                return false;
        i += length;
    }
    return true;
}

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

std::size_t occurrences(const std::string &text, const std::string &part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

static testing::AssertionResult partsFound(const std::string &text, std::initializer_list<std::string> parts, bool wanted)
{
    std::string wrong;
    for (const std::string &part : parts)
        if (contains(text, part) != wanted)
            wrong += "\n  " + part;
    if (wrong.empty())
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << (wanted ? "missing:" : "present:") << wrong << "\nin:\n" << text;
}

testing::AssertionResult containsAll(const std::string &text, std::initializer_list<std::string> parts)
{
    return partsFound(text, parts, true);
}

testing::AssertionResult containsNone(const std::string &text, std::initializer_list<std::string> parts)
{
    return partsFound(text, parts, false);
}
