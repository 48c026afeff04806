#include "ut3/reply.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace ut3 {

namespace {

constexpr std::string_view splitnum("splitnum\0", 9);
constexpr std::size_t headerSize = 5 + splitnum.size() + 2;
constexpr int keysSection = 0, playersSection = 1, teamsSection = 2;

// Reads NUL-terminated strings from a packet's payload. A string the packet
// ends inside has no NUL: it is a fragment the server sends again whole in
// its next packet, so it is never returned.
class Reader final {
public:
    explicit Reader(ByteView bytes) : m_bytes(bytes) {}

    bool atEnd() const { return m_pos >= m_bytes.size(); }
    std::uint8_t peek() const { return m_bytes[m_pos]; }
    std::uint8_t take() { return m_bytes[m_pos++]; }
    void skipNuls()
    {
        while (!atEnd() && peek() == 0)
            ++m_pos;
    }
    std::optional<std::string_view> string()
    {
        const auto rest = m_bytes.subspan(m_pos);
        const auto nul = std::find(rest.begin(), rest.end(), std::uint8_t(0));
        if (nul == rest.end()) {
            m_pos = m_bytes.size();
            return std::nullopt;
        }
        const std::string_view text(reinterpret_cast<const char *>(rest.data()), std::size_t(nul - rest.begin()));
        m_pos += text.size() + 1;
        return text;
    }

private:
    ByteView m_bytes;
    std::size_t m_pos = 0;
};

// UT3's own keys are "p" or "s" and a number. One of them where a value
// belongs means the key before it came without a value, not even an empty one.
bool isNumberedKey(std::string_view text)
{
    return text.size() >= 2 && (text[0] == 'p' || text[0] == 's')
        && std::all_of(text.begin() + 1, text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}

ReplyAssembler::ReplyAssembler(SessionId id) : m_id(id) {}

std::string ReplyAssembler::parsePayload(Packet &packet, int section)
{
    Reader in(packet.payload);
    if (section == keysSection) {
        std::optional<std::string_view> key;
        while (true) {
            if (!key) {
                if (in.atEnd())
                    return {}; // the keys run on into the next packet
                // An empty key ends them; a key whose value was empty but
                // missing can also be followed directly by the next section byte.
                if (in.peek() < 0x20) {
                    if (in.peek() == 0)
                        in.take();
                    break;
                }
                key = in.string();
                if (!key)
                    return {};
            }
            // A section byte where the value belongs: the last key had none.
            if (!in.atEnd() && (in.peek() == playersSection || in.peek() == teamsSection)) {
                packet.keys.emplace_back(*key, std::string_view());
                break;
            }
            const std::optional<std::string_view> value = in.string();
            if (!value)
                return {};
            if (isNumberedKey(*value)) {
                packet.keys.emplace_back(*key, std::string_view());
                key = value;
                continue;
            }
            packet.keys.emplace_back(*key, *value);
            key.reset();
        }
        section = -1; // a section byte follows
    }
    std::size_t fieldsSeen[3] = {};
    while (true) {
        // Real servers put runs of NULs between one list and the next.
        in.skipNuls();
        if (in.atEnd())
            return {};
        if (in.peek() < 0x20) {
            const int next = in.take();
            if (next != playersSection && next != teamsSection)
                return "unknown section " + std::to_string(next);
            section = next;
            continue;
        }
        if (section < 0)
            return std::string("a list without a section byte before it");
        const std::optional<std::string_view> name = in.string();
        if (!name || in.atEnd())
            return {};
        Run run{section, *name, in.take(), {}};
        bool ended = false;
        while (const std::optional<std::string_view> value = in.string()) {
            if (value->empty()) {
                ended = true;
                break;
            }
            run.values.push_back(*value);
        }
        if (++fieldsSeen[section] > maxFieldsPerSection)
            return "more than " + std::to_string(maxFieldsPerSection) + " fields in a section";
        packet.runs.push_back(std::move(run));
        if (!ended)
            return {};
    }
}

std::string ReplyAssembler::add(ByteView datagram)
{
    if (datagram.size() < headerSize || datagram[0] != statusType
        || std::memcmp(datagram.data() + 5, splitnum.data(), splitnum.size()) != 0)
        return "not a status reply";
    if (replySessionId(datagram) != m_id)
        return "status reply for another session";
    const std::uint8_t indexByte = datagram[5 + splitnum.size()];
    const int index = indexByte & 0x7F;
    const bool last = indexByte & 0x80;
    const int section = datagram[5 + splitnum.size() + 1];
    if (section > teamsSection)
        return "packet " + std::to_string(index) + " starts in unknown section " + std::to_string(section);
    if (last && m_lastIndex && *m_lastIndex != index)
        return "two last packets, " + std::to_string(*m_lastIndex) + " and " + std::to_string(index);
    if (m_lastIndex && index > *m_lastIndex)
        return "packet " + std::to_string(index) + " after the last one, " + std::to_string(*m_lastIndex);
    if (last && !m_packets.empty() && m_packets.rbegin()->first > index)
        return "last packet " + std::to_string(index) + " before packets already received";
    if (m_packets.contains(index))
        return {};
    if (m_bytes + datagram.size() > maxReplyBytes)
        return "reply larger than " + std::to_string(maxReplyBytes / 1024) + " KiB";

    // Parsed where it is kept, so that the views stay valid.
    Packet &packet = m_packets[index];
    packet.payload.assign(datagram.begin() + headerSize, datagram.end());
    if (std::string error = parsePayload(packet, section); !error.empty()) {
        m_packets.erase(index);
        return "packet " + std::to_string(index) + ": " + error;
    }
    m_bytes += datagram.size();
    if (last)
        m_lastIndex = index;
    return {};
}

bool ReplyAssembler::anyArrived() const
{
    return m_bytes > 0;
}

bool ReplyAssembler::complete() const
{
    // Indexes above the last are refused, so every one up to it is there.
    return m_lastIndex && m_packets.size() == std::size_t(*m_lastIndex) + 1;
}

std::string ReplyAssembler::missing() const
{
    std::string list;
    const int end = m_lastIndex ? *m_lastIndex + 1 : (m_packets.empty() ? 0 : m_packets.rbegin()->first);
    for (int i = 0; i < end; ++i) {
        if (!m_packets.contains(i))
            list += (list.empty() ? "" : ", ") + std::to_string(i);
    }
    if (!m_lastIndex)
        list += std::string(list.empty() ? "" : ", ") + "the last";
    return "packets " + list + " missing";
}

RawReply ReplyAssembler::raw() const
{
    RawReply reply;
    for (const auto &[index, packet] : m_packets) {
        reply.keys.insert(reply.keys.end(), packet.keys.begin(), packet.keys.end());
        for (const Run &run : packet.runs) {
            auto &fields = run.section == playersSection ? reply.players : reply.teams;
            auto field = std::find_if(fields.begin(), fields.end(), [&](const auto &f) { return f.name == run.name; });
            if (field == fields.end())
                field = fields.insert(fields.end(), RawReply::Field{run.name, {}});
            // A value sent again (after being cut at the end of a packet)
            // replaces the earlier one.
            for (std::size_t i = 0; i < run.values.size() && run.firstRow + i < maxRows; ++i) {
                const std::size_t row = run.firstRow + i;
                if (field->rows.size() <= row)
                    field->rows.resize(row + 1);
                field->rows[row] = run.values[i];
            }
        }
    }
    return reply;
}

}
