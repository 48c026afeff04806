#include "ut3/packets.h"

#include "common/number.h"

#include <algorithm>
#include <limits>
#include <string_view>

namespace ut3 {

namespace {

constexpr std::uint8_t magic[] = {0xFE, 0xFD};
// Asks for the keys, the players and the teams, in packets of the newer kind.
constexpr std::uint8_t everything[] = {0xFF, 0xFF, 0xFF, 0x01};
constexpr std::size_t longestChallenge = 12;

void appendBigEndian(Bytes &out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(std::uint8_t(value >> shift));
}

Bytes request(std::uint8_t type, SessionId id)
{
    Bytes out(std::begin(magic), std::end(magic));
    out.push_back(type);
    appendBigEndian(out, id);
    return out;
}

}

Bytes challengeRequest(SessionId id)
{
    return request(challengeType, id);
}

Bytes statusRequest(SessionId id, std::optional<std::uint32_t> challenge)
{
    Bytes out = request(statusType, id);
    if (challenge)
        appendBigEndian(out, *challenge);
    out.insert(out.end(), std::begin(everything), std::end(everything));
    return out;
}

std::optional<SessionId> replySessionId(ByteView datagram)
{
    if (datagram.size() < 5)
        return std::nullopt;
    return SessionId(datagram[1]) << 24 | SessionId(datagram[2]) << 16 | SessionId(datagram[3]) << 8 | SessionId(datagram[4]);
}

common::Expected<Challenge> parseChallengeReply(ByteView datagram, SessionId id)
{
    if (datagram.size() < 6 || datagram[0] != challengeType)
        return common::Fault{"not a challenge reply"};
    if (replySessionId(datagram) != id)
        return common::Fault{"challenge reply for another session"};
    const ByteView rest = datagram.subspan(5);
    const auto end = std::find(rest.begin(), rest.end(), std::uint8_t(0));
    if (end == rest.end())
        return common::Fault{"challenge without its terminating NUL"};
    if (std::any_of(end, rest.end(), [](std::uint8_t b) { return b != 0; }))
        return common::Fault{"bytes after the challenge"};
    const std::string_view text(reinterpret_cast<const char *>(rest.data()), std::size_t(end - rest.begin()));
    if (text.empty() || text.size() > longestChallenge)
        return common::Fault{"challenge of " + std::to_string(text.size()) + " characters"};
    // Servers send the 32-bit challenge as signed or as unsigned decimal.
    const auto value = common::wholeNumber<long long>(text, std::numeric_limits<std::int32_t>::min(),
                                              std::numeric_limits<std::uint32_t>::max());
    if (!value)
        return common::Fault{"challenge \"" + std::string(text) + "\" is not a 32-bit number"};
    if (*value == 0)
        return Challenge{};
    return Challenge{std::uint32_t(*value)};
}

}
