#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/udp.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A scripted UT3 server on 127.0.0.1 for tests and benchmarks: answers the
// challenge and full-status requests with the keys, players and teams of its
// script, cut into packets the way its shape says.
namespace fakeut3 {

enum class Shape {
    onePacket,         // the whole reply in one datagram
    outOfOrder,        // keys, players and teams in three packets, sent last first
    duplicated,        // three packets, each sent twice
    playersLater,      // the keys in one packet, players and teams in the next
    fieldContinued,    // the player lists run over into the next packet; the first packet's last name is cut and sent again whole
    nulRuns,           // runs of NUL bytes between one field's list and the next field's name, as real servers send
    lostPacket,        // three packets, the middle one never sent
    silent,            // never answers
    garbage,           // answers the status request with bytes that are no UT3 reply
    wrongSessionId,    // answers under another session id
    changingChallenge, // a new challenge for each challenge request; only the latest is accepted
    noChallenge,       // challenge 0: the status request comes without challenge bytes
    forgedFirst,       // before each answer, bytes that are no UT3 reply and a broken reply under the right session id
};

// A field list as sent: the field's name ("player_", "score_", "team_t" ...)
// and one value per row, raw bytes.
using Column = std::pair<std::string, std::vector<std::string>>;

struct Script {
    // Keys in order; a key without a value is sent with none at all, not even
    // an empty one.
    std::vector<std::pair<std::string, std::optional<std::string>>> keys;
    std::vector<Column> players;
    std::vector<Column> teams;
    Shape shape = Shape::onePacket;
    std::int32_t challenge = -1287574694;
};

// A UT3 deathmatch server with the keys a real one sends, and the given
// number of players named "Player1" ... with scores 10, 20 ...
Script sampleScript(const std::string &name, const std::string &map, int playerCount);

// Inserts at `position` the key real UT3 servers send with no value at all,
// p268435968, and the key that follows it, p268435969 with value "1".
void addValuelessKey(Script &script, std::size_t position);

// A UDP endpoint on the given loopback address that nothing listens on.
boost::asio::ip::udp::endpoint closedEndpoint(const char *address = "127.0.0.1");

class FakeServer final {
public:
    // Listens on 127.0.0.1:port (any free port when 0), or on another
    // loopback address such as ::1. Throws boost::system::system_error when
    // the port cannot be bound.
    FakeServer(boost::asio::io_context &io, Script script, std::uint16_t port = 0, const char *address = "127.0.0.1");
    ~FakeServer();
    FakeServer(const FakeServer &) = delete;
    FakeServer &operator=(const FakeServer &) = delete;

    std::uint16_t port() const;
    boost::asio::ip::udp::endpoint endpoint() const;

    // May be called from any thread while the server runs. The server itself
    // is made and destroyed on the io_context's thread or while it is stopped.
    void setScript(Script script);
    // Challenge and status requests received so far.
    int requestsSeen() const;

private:
    class Session;
    std::shared_ptr<Session> m_session;
};

}
