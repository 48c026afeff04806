#include "fakeserver.h"

#include <boost/asio/buffer.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <string_view>

namespace fakeut3 {

namespace asio = boost::asio;
using asio::ip::udp;

namespace {

using Bytes = std::string;

constexpr std::string_view splitnum("splitnum\0", 9);
constexpr std::string_view nul("\0", 1);

std::uint32_t sessionIdOf(std::string_view request)
{
    return std::uint32_t(std::uint8_t(request[3])) << 24 | std::uint32_t(std::uint8_t(request[4])) << 16
        | std::uint32_t(std::uint8_t(request[5])) << 8 | std::uint32_t(std::uint8_t(request[6]));
}

Bytes bigEndian(std::uint32_t value)
{
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

Bytes keysPayload(const Script &script)
{
    Bytes out;
    for (const auto &[key, value] : script.keys) {
        out += key;
        out += nul;
        if (value) {
            out += *value;
            out += nul;
        }
    }
    return out + Bytes(nul); // the empty key that ends them
}

// The field lists of a section, from row `from` on; `gap` is the run of
// NULs real servers leave between one list and the next field's name.
Bytes listsPayload(const std::vector<Column> &columns, std::size_t from, std::string_view gap)
{
    Bytes out;
    for (const auto &[name, values] : columns) {
        out += name;
        out += nul;
        out += char(from);
        for (std::size_t row = from; row < values.size(); ++row) {
            out += values[row];
            out += nul;
        }
        out += nul;
        out += gap;
    }
    return out + Bytes(nul); // the empty name that ends the section
}

struct Packet {
    int section;
    Bytes payload;
};

// The reply's packets in index order, as the shape cuts them.
std::vector<Packet> cut(const Script &script)
{
    const Bytes keys = keysPayload(script);
    const std::string_view gap = script.shape == Shape::nulRuns ? std::string_view("\0\0\0\0", 4) : std::string_view();
    const Bytes players = listsPayload(script.players, 0, gap);
    const Bytes teams = listsPayload(script.teams, 0, gap);
    switch (script.shape) {
    case Shape::onePacket:
    case Shape::nulRuns:
    case Shape::changingChallenge:
    case Shape::noChallenge:
    case Shape::wrongSessionId:
    case Shape::forgedFirst:
        return {{0, keys + "\x01" + players + "\x02" + teams}};
    case Shape::playersLater:
        return {{0, keys}, {1, players + "\x02" + teams}};
    case Shape::fieldContinued: {
        if (script.players.empty())
            return {{0, keys}, {1, players + "\x02" + teams}};
        // Packet 1 ends inside the first list: half its rows, then the next
        // value cut short. Packet 2 sends that value again whole under its
        // start index, the rest of the list, and every other list.
        const auto &[name, values] = script.players.front();
        const std::size_t half = values.size() / 2;
        Bytes head = name + Bytes(nul) + char(0);
        for (std::size_t row = 0; row < half; ++row)
            head += values[row] + Bytes(nul);
        if (half < values.size())
            head += values[half].substr(0, values[half].size() / 2 + 1);
        Bytes tail = listsPayload({script.players.front()}, half, {});
        tail.pop_back(); // the section goes on
        tail += listsPayload({script.players.begin() + 1, script.players.end()}, 0, {}) + "\x02" + teams;
        return {{0, keys}, {1, head}, {1, tail}};
    }
    case Shape::outOfOrder:
    case Shape::duplicated:
    case Shape::lostPacket:
    case Shape::silent:
    case Shape::garbage:
        break;
    }
    return {{0, keys}, {1, players}, {2, teams}};
}

Bytes header(std::uint32_t id, std::size_t index, bool last, int section)
{
    return Bytes(1, '\0') + bigEndian(id) + Bytes(splitnum) + char(index | (last ? 0x80 : 0)) + char(section);
}

}

Script sampleScript(const std::string &name, const std::string &map, int playerCount)
{
    Script script;
    // The settings blob UT3 puts under "mapname" repeats most of the
    // settings, which makes even a one-player reply well over 1 KiB.
    std::string blob;
    for (int i = 0; i < 24; ++i)
        blob += (blob.empty() ? "" : ",") + std::string("s") + std::to_string(i) + "=" + std::to_string(i % 3) + ",p2684357" + std::to_string(i + 10) + "=" + std::to_string(i * 7);
    script.keys = {
        {"hostname", name}, {"hostport", "7777"}, {"numplayers", std::to_string(playerCount)}, {"maxplayers", "32"},
        {"gamemode", "openplaying"}, {"mapname", blob}, {"s32779", "0"}, {"s0", "4"}, {"s6", "1"}, {"s7", "0"},
        {"s8", "0"}, {"s10", "1"}, {"p1073741825", map}, {"p1073741826", "UTGame.UTDeathmatch"},
        {"p1073741827", "Fragfest on " + map}, {"p1073741828", "Quad Jump\x1C" "Vampire"},
        {"p1073741829", "QuadJump.MutQuadJump\x1C" "Vampire.MutVampire"},
        {"p268435703", "2"}, {"p268435704", "25"}, {"p268435705", "20"}, {"p268435717", "10"},
        {"OwningPlayerName", name + " host"},
        {"EgAdminName", "admin"}, {"bUsesStats", "True"},
    };
    Column names{"player_", {}}, scores{"score_", {}}, pings{"ping_", {}}, teams{"team_", {}}, deaths{"deaths_", {}}, pids{"pid_", {}};
    for (int i = 1; i <= playerCount; ++i) {
        names.second.push_back("Player" + std::to_string(i));
        scores.second.push_back(std::to_string(10 * i));
        pings.second.push_back(std::to_string(30 + i));
        teams.second.push_back(std::to_string(i % 2));
        deaths.second.push_back(std::to_string(i));
        pids.second.push_back(std::to_string(100 + i));
    }
    script.players = {names, scores, pings, teams, deaths, pids};
    script.teams = {{"team_t", {"Red Team", "Blue Team"}}, {"score_t", {"3", "5"}}};
    return script;
}

void addValuelessKey(Script &script, std::size_t position)
{
    script.keys.insert(script.keys.begin() + std::min(position, script.keys.size()), {{"p268435968", std::nullopt}, {"p268435969", "1"}});
}

udp::endpoint closedEndpoint(const char *address)
{
    asio::io_context io;
    udp::socket probe(io, {asio::ip::make_address(address), 0});
    return probe.local_endpoint();
}

class FakeServer::Session final : public std::enable_shared_from_this<Session> {
public:
    Session(asio::io_context &io, Script script, std::uint16_t port, const char *address)
        : m_socket(io, udp::endpoint(asio::ip::make_address(address), port))
    {
        m_challenge = script.challenge;
        setScript(std::move(script));
    }

    // The packets are cut once per script, not once per request, so that a
    // thousand servers in one process answer as fast as they can.
    struct Prepared {
        Script script;
        std::vector<Packet> packets;
    };

    void setScript(Script script)
    {
        auto prepared = std::make_shared<const Prepared>(Prepared{script, cut(script)});
        std::lock_guard lock(m_mutex);
        m_prepared = std::move(prepared);
    }

    std::shared_ptr<const Prepared> prepared() const
    {
        std::lock_guard lock(m_mutex);
        return m_prepared;
    }

    void receive()
    {
        m_socket.async_receive_from(asio::buffer(m_buffer), m_sender, [self = shared_from_this()](const boost::system::error_code &error, std::size_t length) {
            if (error == asio::error::operation_aborted || !self->m_socket.is_open())
                return;
            if (!error)
                self->answer(std::string_view(self->m_buffer.data(), length));
            self->receive();
        });
    }

    void close()
    {
        boost::system::error_code ignored;
        m_socket.close(ignored);
    }

    udp::socket m_socket;
    mutable std::mutex m_mutex;
    std::shared_ptr<const Prepared> m_prepared;
    std::atomic<int> m_requests{0};

private:
    void answer(std::string_view request)
    {
        if (request.size() < 7 || request.substr(0, 2) != "\xFE\xFD")
            return;
        ++m_requests;
        const auto prepared = this->prepared();
        const Script &script = prepared->script;
        if (script.shape == Shape::silent)
            return;
        if (script.shape == Shape::garbage) {
            send("\xFF\xFF\xFF\xFFprint\nUnknown command\n");
            return;
        }
        std::uint32_t id = sessionIdOf(request);
        if (script.shape == Shape::wrongSessionId)
            id ^= 0x01010101;
        if (script.shape == Shape::forgedFirst) {
            send("\xFF\xFF\xFF\xFFprint\nUnknown command\n");
            send(Bytes(1, request[2]) + bigEndian(id) + "forged\x01");
        }
        if (request[2] == '\x09')
            answerChallenge(script, id);
        else if (request[2] == '\0')
            answerStatus(*prepared, id, request.substr(7));
    }

    void answerChallenge(const Script &script, std::uint32_t id)
    {
        if (script.shape == Shape::changingChallenge)
            m_challenge = std::int32_t(std::uint32_t(m_challenge) * 1103515245u + 12345u);
        else
            m_challenge = script.shape == Shape::noChallenge ? 0 : script.challenge;
        send("\x09" + bigEndian(id) + std::to_string(m_challenge) + Bytes(nul));
    }

    void answerStatus(const Prepared &prepared, std::uint32_t id, std::string_view rest)
    {
        const Bytes expected = (m_challenge == 0 ? Bytes() : bigEndian(std::uint32_t(m_challenge))) + "\xFF\xFF\xFF\x01";
        if (rest != expected)
            return; // a stale or missing challenge: real servers stay silent
        const auto &packets = prepared.packets;
        const auto sendPacket = [&](std::size_t i) {
            send(header(id, i, i + 1 == packets.size(), packets[i].section), packets[i].payload);
        };
        switch (prepared.script.shape) {
        case Shape::outOfOrder:
            for (std::size_t i = packets.size(); i-- > 0;)
                sendPacket(i);
            return;
        case Shape::duplicated:
            for (std::size_t i = 0; i < packets.size(); ++i) {
                sendPacket(i);
                sendPacket(i);
            }
            return;
        case Shape::lostPacket:
            for (std::size_t i = 0; i < packets.size(); ++i) {
                if (i != 1)
                    sendPacket(i);
            }
            return;
        default:
            for (std::size_t i = 0; i < packets.size(); ++i)
                sendPacket(i);
        }
    }

    void send(const Bytes &head, const Bytes &payload = {})
    {
        const std::array<asio::const_buffer, 2> datagram = {asio::buffer(head), asio::buffer(payload)};
        boost::system::error_code ignored;
        m_socket.send_to(datagram, m_sender, 0, ignored);
    }

    std::array<char, 2048> m_buffer;
    udp::endpoint m_sender;
    std::int32_t m_challenge;
};

FakeServer::FakeServer(asio::io_context &io, Script script, std::uint16_t port, const char *address)
    : m_session(std::make_shared<Session>(io, std::move(script), port, address))
{
    m_session->receive();
}

FakeServer::~FakeServer()
{
    m_session->close();
}

std::uint16_t FakeServer::port() const
{
    return m_session->m_socket.local_endpoint().port();
}

udp::endpoint FakeServer::endpoint() const
{
    return m_session->m_socket.local_endpoint();
}

void FakeServer::setScript(Script script)
{
    m_session->setScript(std::move(script));
}


int FakeServer::requestsSeen() const
{
    return m_session->m_requests;
}

}
