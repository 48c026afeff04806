#pragma once

#include "common/expected.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The requests UT3 answers on its query port (GameSpy 4 style) and the
// replies to the challenge request. The full-status reply is assembled by
// ReplyAssembler (reply.h).
namespace ut3 {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;
using SessionId = std::uint32_t;

// Replies start with the request's type byte and echo the session id.
inline constexpr std::uint8_t challengeType = 0x09;
inline constexpr std::uint8_t statusType = 0x00;

Bytes challengeRequest(SessionId id);

// The challenge to send back, or nullopt when the server sent 0, which
// means the status request goes without one.
Bytes statusRequest(SessionId id, std::optional<std::uint32_t> challenge);

// The session id a reply echoes, if it is long enough to carry one.
std::optional<SessionId> replySessionId(ByteView datagram);

struct Challenge {
    std::optional<std::uint32_t> value; // nullopt: the server wants none
};

// A challenge reply for the given session: the challenge, or why the
// datagram is not one.
common::Expected<Challenge> parseChallengeReply(ByteView datagram, SessionId id);

}
