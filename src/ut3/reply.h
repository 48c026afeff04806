#pragma once

#include "ut3/packets.h"
#include "ut3/status.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ut3 {

// The raw content of a full-status reply, before decoding and meanings:
// views of the bytes the ReplyAssembler keeps, valid while it lives.
struct RawReply {
    struct Field {
        std::string_view name;
        // By row; a row no packet gave a value for is absent.
        std::vector<std::optional<std::string_view>> rows;
    };
    std::vector<std::pair<std::string_view, std::string_view>> keys;
    std::vector<Field> players, teams;
};

// Collects the packets of one full-status reply, which may come in any
// order and more than once, and checks each on arrival.
class ReplyAssembler final {
public:
    // No more packets than the 7-bit index can count.
    static constexpr int maxPackets = 128;
    // A real reply is a few KiB; this bounds what one hostile server costs.
    static constexpr std::size_t maxReplyBytes = 256 * 1024;
    // UT3 has at most 64 players; the row index byte could name 255.
    static constexpr std::size_t maxRows = 256;
    static constexpr std::size_t maxFieldsPerSection = 32;

    explicit ReplyAssembler(SessionId id);

    // Empty when the packet belongs to this reply (a repeat is ignored),
    // else why it was rejected. A rejected packet changes nothing.
    std::string add(ByteView datagram);

    bool anyArrived() const;
    bool complete() const;
    // Which packets are still missing, for an error message.
    std::string missing() const;

    // What has arrived, packet by packet in index order.
    RawReply raw() const;

private:
    struct Run {
        int section;
        std::string_view name;
        std::size_t firstRow;
        std::vector<std::string_view> values;
    };
    // Keys and runs are views of the packet's own copy of its payload.
    struct Packet {
        Bytes payload;
        std::vector<std::pair<std::string_view, std::string_view>> keys;
        std::vector<Run> runs;
    };
    // Empty, or why the payload is not one.
    static std::string parsePayload(Packet &packet, int section);

    SessionId m_id;
    // By index; few replies have more than a handful of packets.
    std::map<int, Packet> m_packets;
    std::optional<int> m_lastIndex;
    std::size_t m_bytes = 0;
};

}
