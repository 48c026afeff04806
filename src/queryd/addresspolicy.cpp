#include "queryd/addresspolicy.h"

#include "common/address.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace queryd {

namespace {

// A block of the IANA special-purpose address registries. Blocks nest; the
// longest prefix that holds an address decides.
struct Block {
    std::array<unsigned char, 16> prefix; // IPv4 blocks use the first four bytes
    unsigned bits;
    bool global;
    std::string_view what; // for a block that is not globally reachable
};

bool inBlock(const unsigned char *bytes, const Block &block)
{
    for (unsigned bit = 0; bit < block.bits; ++bit) {
        const unsigned mask = 0x80u >> (bit % 8);
        if ((bytes[bit / 8] & mask) != (block.prefix[bit / 8] & mask))
            return false;
    }
    return true;
}

template<std::size_t N>
const Block &blockOf(const unsigned char *bytes, const Block (&blocks)[N])
{
    const Block *found = &blocks[0];
    for (const Block &block : blocks)
        if (block.bits >= found->bits && inBlock(bytes, block))
            found = &block;
    return *found;
}

constexpr std::string_view ietfAssignment = "an address the IETF reserved for protocols";
constexpr std::string_view documentation = "a documentation address";
constexpr std::string_view privateUse = "a private address";

const Block V4Blocks[] = {
    {{}, 0, true, {}},
    {{0}, 8, false, "a 'this network' address"},                  // RFC 791
    {{10}, 8, false, privateUse},                                 // RFC 1918
    {{100, 64}, 10, false, "a shared (carrier-grade NAT) address"}, // RFC 6598
    {{127}, 8, false, "a loopback address"},                      // RFC 1122
    {{169, 254}, 16, false, "a link-local address"},              // RFC 3927
    {{172, 16}, 12, false, privateUse},                           // RFC 1918
    {{192, 0, 0}, 24, false, ietfAssignment},                     // RFC 6890
    {{192, 0, 0, 9}, 32, true, {}},                               // PCP anycast, RFC 7723
    {{192, 0, 0, 10}, 32, true, {}},                              // TURN anycast, RFC 8155
    {{192, 0, 2}, 24, false, documentation},                      // RFC 5737
    {{192, 88, 99}, 24, false, "a deprecated 6to4 relay address"}, // RFC 7526
    {{192, 168}, 16, false, privateUse},                          // RFC 1918
    {{198, 18}, 15, false, "a benchmarking address"},             // RFC 2544
    {{198, 51, 100}, 24, false, documentation},                   // RFC 5737
    {{203, 0, 113}, 24, false, documentation},                    // RFC 5737
    {{224}, 4, false, "a multicast address"},                     // RFC 5771
    {{240}, 4, false, "a reserved or broadcast address"},         // RFC 1112, RFC 919
};

const Block V6Blocks[] = {
    // Only 2000::/3 is given out for global unicast; the rest is reserved.
    {{}, 0, false, "a reserved address"},                                               // RFC 4291
    {{0x20}, 3, true, {}},                                                              // RFC 4291
    {{}, 128, false, "the unspecified address"},                                        // RFC 4291
    {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 128, false, "a loopback address"}, // RFC 4291
    {{}, 96, false, "an IPv4-compatible address (deprecated)"},                         // RFC 4291
    {{0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff}, 96, false, "an IPv4-translated (SIIT) address"}, // RFC 2765
    {{0, 0x64, 0xff, 0x9b, 0, 1}, 48, false, "a local-use IPv4/IPv6 translation address"}, // RFC 8215
    {{1}, 64, false, "a discard-only address"},                                         // RFC 6666
    {{1, 0, 0, 0, 0, 0, 0, 1}, 64, false, "a dummy address"},                           // RFC 9780
    {{0x20, 0x01}, 23, false, ietfAssignment},                                          // RFC 2928
    {{0x20, 0x01}, 32, false, "a Teredo address"},                                      // RFC 4380
    {{0x20, 0x01, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 128, true, {}},            // PCP anycast, RFC 7723
    {{0x20, 0x01, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2}, 128, true, {}},            // TURN anycast, RFC 8155
    {{0x20, 0x01, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3}, 128, true, {}},            // DNS-SD SRP anycast, RFC 9665
    {{0x20, 0x01, 0, 2, 0, 0}, 48, false, "a benchmarking address"},                    // RFC 5180
    {{0x20, 0x01, 0, 3}, 32, true, {}},                                                 // AMT, RFC 7450
    {{0x20, 0x01, 0, 4, 0x01, 0x12}, 48, true, {}},                                     // AS112-v6, RFC 7535
    {{0x20, 0x01, 0, 0x10}, 28, false, "a deprecated ORCHID address"},                  // RFC 4843
    {{0x20, 0x01, 0, 0x20}, 28, false, "an ORCHIDv2 identifier, not a destination"},    // RFC 7343
    {{0x20, 0x01, 0, 0x30}, 28, true, {}},                                              // DETs, RFC 9374
    {{0x20, 0x01, 0x0d, 0xb8}, 32, false, documentation},                               // RFC 3849
    {{0x20, 0x02}, 16, false, "a 6to4 address"},                                        // RFC 3056, RFC 7526
    {{0x3f, 0xff, 0}, 20, false, documentation},                                        // RFC 9637
    {{0x5f, 0}, 16, false, "a segment routing identifier"},                             // RFC 9602
    {{0xfc}, 7, false, "a unique-local address"},                                       // RFC 4193
    {{0xfe, 0x80}, 10, false, "a link-local address"},                                  // RFC 4291
    {{0xfe, 0xc0}, 10, false, "a site-local address"},                                  // RFC 3879
    {{0xff}, 8, false, "a multicast address"},                                          // RFC 4291
};

// NAT64's well-known prefix carries the IPv4 address the gateway sends to
// (RFC 6052).
constexpr Block nat64{{0, 0x64, 0xff, 0x9b}, 96, true, {}};

std::optional<std::string_view> refusalOf(const boost::asio::ip::address_v4 &address)
{
    const Block &block = blockOf(address.to_bytes().data(), V4Blocks);
    return block.global ? std::nullopt : std::optional(block.what);
}

AddressRefusal refused(const std::string &address, std::string_view what)
{
    return {address + " is " + std::string(what) + "; this public service queries only game servers on the internet."};
}

}

Verdict<AddressRefusal> judgeForPublicService(const boost::asio::ip::address &given)
{
    const boost::asio::ip::address address = common::unwrapped(given);
    if (address.is_v4()) {
        const auto what = refusalOf(address.to_v4());
        if (what)
            return refused(address.to_string(), *what);
        return Admitted{};
    }
    const auto bytes = address.to_v6().to_bytes();
    if (inBlock(bytes.data(), nat64)) {
        const boost::asio::ip::address_v4 carried({bytes[12], bytes[13], bytes[14], bytes[15]});
        const auto what = refusalOf(carried);
        if (what)
            return refused(address.to_string(), "translated to " + carried.to_string() + ", " + std::string(*what));
        return Admitted{};
    }
    const Block &block = blockOf(bytes.data(), V6Blocks);
    if (!block.global)
        return refused(address.to_string(), block.what);
    return Admitted{};
}

boost::asio::ip::address chosenAddress(std::span<const boost::asio::ip::address> resolved, bool publicService)
{
    if (publicService)
        for (const auto &address : resolved)
            if (std::holds_alternative<AddressRefusal>(judgeForPublicService(address)))
                return address;
    return common::preferredAddress(resolved);
}

}
