#include "queryd/addresspolicy.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace queryd {

namespace {

struct Range {
    std::array<unsigned char, 16> prefix; // IPv4 ranges use the first four bytes
    unsigned bits;
    std::string_view what;
};

bool inRange(const unsigned char *bytes, const Range &range)
{
    for (unsigned bit = 0; bit < range.bits; ++bit) {
        const unsigned mask = 0x80u >> (bit % 8);
        if ((bytes[bit / 8] & mask) != (range.prefix[bit / 8] & mask))
            return false;
    }
    return true;
}

const Range V4Ranges[] = {
    {{0}, 8, "a 'this network' address"},
    {{10}, 8, "a private address"},
    {{100, 64}, 10, "a shared (carrier-grade NAT) address"},
    {{127}, 8, "a loopback address"},
    {{169, 254}, 16, "a link-local address"},
    {{172, 16}, 12, "a private address"},
    {{192, 168}, 16, "a private address"},
    {{224}, 4, "a multicast address"},
    {{240}, 4, "a reserved or broadcast address"},
};

const Range V6Ranges[] = {
    {{}, 128, "the unspecified address"},
    {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 128, "a loopback address"},
    {{0xfc}, 7, "a unique-local address"},
    {{0xfe, 0x80}, 10, "a link-local address"},
    {{0xfe, 0xc0}, 10, "a site-local address"},
    {{0xff}, 8, "a multicast address"},
};

}

boost::asio::ip::address unwrapped(const boost::asio::ip::address &address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
    return address;
}

std::optional<std::string> refusalForPublicService(const boost::asio::ip::address &given)
{
    const boost::asio::ip::address address = unwrapped(given);
    std::string_view what;
    if (address.is_v4()) {
        const auto bytes = address.to_v4().to_bytes();
        for (const Range &range : V4Ranges)
            if (inRange(bytes.data(), range)) {
                what = range.what;
                break;
            }
    } else {
        const auto bytes = address.to_v6().to_bytes();
        for (const Range &range : V6Ranges)
            if (inRange(bytes.data(), range)) {
                what = range.what;
                break;
            }
    }
    if (what.empty())
        return std::nullopt;
    return address.to_string() + " is " + std::string(what)
        + "; this public service queries only game servers on the internet.";
}

}
