#include "ut3/client.h"

#include "ut3/interpret.h"
#include "ut3/packets.h"
#include "ut3/reply.h"
#include "ut3/text.h"
#include "ut3/udpport.h"

#include <boost/asio/ip/address.hpp>
#include <boost/asio/steady_timer.hpp>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <random>

namespace ut3 {

namespace asio = boost::asio;
using asio::ip::udp;
using Clock = std::chrono::steady_clock;

namespace {

std::string describe(const udp::endpoint &endpoint)
{
    const auto address = endpoint.address();
    return (address.is_v6() ? "[" + address.to_string() + "]" : address.to_string()) + ":" + std::to_string(endpoint.port());
}

std::string seconds(std::chrono::milliseconds duration)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g s", duration.count() / 1000.0);
    return text;
}

}

class Client::Engine final : public std::enable_shared_from_this<Engine> {
public:
    Engine(asio::io_context &io, ClientOptions options)
        : m_io(io), m_options(options), m_resolver(io), m_pacer(io), m_random(std::random_device{}())
    {
    }

    void resolveAndQuery(QueryTarget target, std::function<void(QueryResult)> done)
    {
        const auto queriedAt = std::chrono::system_clock::now();
        boost::system::error_code error;
        const auto address = asio::ip::make_address(target.host, error);
        if (!error) {
            start(udp::endpoint(address, target.port), std::move(target), queriedAt, std::move(done));
            return;
        }
        // The deadline covers the name lookup too: a result on time, even
        // when the system's resolver is slow to give up.
        struct Lookup {
            QueryTarget target;
            std::function<void(QueryResult)> done;
            asio::steady_timer deadline;
            bool over = false;
        };
        auto lookup = std::make_shared<Lookup>(Lookup{std::move(target), std::move(done), asio::steady_timer(m_io, m_options.timeout)});
        lookup->deadline.async_wait([weak = weak_from_this(), lookup, queriedAt, timeout = m_options.timeout](const boost::system::error_code &error) {
            if (error || lookup->over || weak.expired())
                return;
            lookup->over = true;
            lookup->done({lookup->target, QueryState::timeout, "cannot resolve " + lookup->target.host + " within " + seconds(timeout), {}, {}, queriedAt});
        });
        m_resolver.async_resolve(lookup->target.host, std::to_string(lookup->target.port), [weak = weak_from_this(), lookup, queriedAt](
                                     const boost::system::error_code &error, udp::resolver::results_type results) {
            const auto self = weak.lock();
            if (!self || lookup->over)
                return;
            lookup->over = true;
            lookup->deadline.cancel();
            if (error || results.empty()) {
                lookup->done({lookup->target, QueryState::invalid, "cannot resolve " + lookup->target.host + ": " + (error ? error.message() : "no address"), {}, {}, queriedAt});
                return;
            }
            // UT3 servers listen on IPv4; a name like "localhost" often
            // lists ::1 first.
            auto chosen = results.begin();
            for (auto it = results.begin(); it != results.end(); ++it) {
                if (it->endpoint().address().is_v4()) {
                    chosen = it;
                    break;
                }
            }
            self->start(chosen->endpoint(), std::move(lookup->target), queriedAt, std::move(lookup->done));
        });
    }

    void start(udp::endpoint endpoint, QueryTarget target, std::chrono::system_clock::time_point queriedAt, std::function<void(QueryResult)> done)
    {
        SessionId id;
        do {
            id = SessionId(m_random());
        } while (m_queries.contains({endpoint, id}));
        auto query = std::make_unique<Query>(Query{endpoint, id, std::move(target), queriedAt, std::move(done), ReplyAssembler(id), asio::steady_timer(m_io)});
        m_queries.emplace(Key{endpoint, id}, std::move(query));
        m_waiting.push_back({endpoint, id});
        pace();
    }

private:
    using Key = std::pair<udp::endpoint, SessionId>;

    struct Query {
        udp::endpoint endpoint;
        SessionId id;
        QueryTarget target;
        std::chrono::system_clock::time_point queriedAt;
        std::function<void(QueryResult)> done;
        ReplyAssembler reply;
        asio::steady_timer timer;
        Clock::time_point deadline{};
        std::optional<Challenge> challenge;
        bool challengeRetried = false, statusRetried = false;
        bool statusAsked = false;
        int challengesTaken = 0;
        Clock::time_point challengeSentAt{}, statusSentAt{};
        std::optional<double> pingMs;
        // Why the latest packet from the server's address was not taken: the
        // result when nothing proper came by the deadline.
        std::string rejected;
        // What the system said about the server's address (an ICMP error).
        std::string unreachable;
    };

    // Sends the first packets of queries waiting to start, one per pacing
    // interval.
    void pace()
    {
        if (m_pacing)
            return;
        while (!m_waiting.empty()) {
            const Key key = m_waiting.front();
            m_waiting.pop_front();
            const auto it = m_queries.find(key);
            if (it == m_queries.end())
                continue;
            begin(*it->second);
            if (m_options.pacing.count() > 0 && !m_waiting.empty()) {
                m_pacing = true;
                m_pacer.expires_after(m_options.pacing);
                m_pacer.async_wait([weak = weak_from_this()](const boost::system::error_code &error) {
                    const auto self = weak.lock();
                    if (!self || error)
                        return;
                    self->m_pacing = false;
                    self->pace();
                });
                return;
            }
        }
    }

    void begin(Query &query)
    {
        query.deadline = Clock::now() + m_options.timeout;
        sendChallenge(query);
    }

    Clock::duration retryAfter() const
    {
        return std::chrono::duration_cast<Clock::duration>(m_options.timeout * m_options.retryFraction);
    }

    void sendChallenge(Query &query)
    {
        query.challengeSentAt = Clock::now();
        send(query, challengeRequest(query.id));
        schedule(query);
    }

    void sendStatus(Query &query)
    {
        query.statusSentAt = Clock::now();
        query.statusAsked = true;
        send(query, statusRequest(query.id, query.challenge->value));
        schedule(query);
    }

    // Wakes the query at its deadline, or before it when a request is due
    // for its one retry.
    void schedule(Query &query)
    {
        Clock::time_point wake = query.deadline;
        if (!query.challenge && !query.challengeRetried)
            wake = std::min(wake, query.challengeSentAt + retryAfter());
        else if (query.challenge && !query.statusRetried)
            wake = std::min(wake, query.statusSentAt + retryAfter());
        query.timer.expires_at(wake);
        query.timer.async_wait([weak = weak_from_this(), key = Key{query.endpoint, query.id}](const boost::system::error_code &error) {
            const auto self = weak.lock();
            if (!self || error)
                return;
            self->wake(key);
        });
    }

    void wake(const Key &key)
    {
        const auto it = m_queries.find(key);
        if (it == m_queries.end())
            return;
        Query &query = *it->second;
        if (Clock::now() >= query.deadline) {
            expire(key);
        } else if (!query.challenge) {
            query.challengeRetried = true;
            sendChallenge(query);
        } else if (!query.reply.complete()) {
            // The server may have changed its challenge meanwhile: ask for
            // a fresh one, and the status again with it.
            query.statusRetried = true;
            query.challenge.reset();
            query.challengeRetried = true;
            sendChallenge(query);
        }
    }

    void expire(const Key &key)
    {
        Query &query = *m_queries.at(key);
        if (query.reply.anyArrived()) {
            ServerStatus partial = interpret(query.reply.raw(), false);
            finish(key, QueryState::timeout, "no complete reply from " + describe(query.endpoint) + " within " + seconds(m_options.timeout) + ": " + query.reply.missing(), std::move(partial));
        } else if (!query.rejected.empty()) {
            finish(key, QueryState::malformed, query.rejected);
        } else {
            std::string why = "no reply from " + describe(query.endpoint) + " within " + seconds(m_options.timeout);
            if (!query.unreachable.empty())
                why += " (" + query.unreachable + ")";
            finish(key, QueryState::timeout, why);
        }
    }

    void finish(const Key &key, QueryState state, std::string error, std::optional<ServerStatus> status = std::nullopt)
    {
        const auto it = m_queries.find(key);
        if (it == m_queries.end())
            return; // a query ends once
        std::unique_ptr<Query> query = std::move(it->second);
        m_queries.erase(it);
        query->timer.cancel();
        if (m_queries.empty())
            stopReceiving();
        QueryResult result{std::move(query->target), state, std::move(error), std::move(status), query->pingMs, query->queriedAt};
        query->done(std::move(result));
    }

    UdpPort &portFor(const udp::endpoint &endpoint)
    {
        auto &port = endpoint.address().is_v6() ? m_v6 : m_v4;
        if (!port) {
            const auto weak = weak_from_this();
            UdpPort::Handlers handlers{
                [weak](const udp::endpoint &from, ByteView datagram) {
                    if (const auto self = weak.lock())
                        self->receive(from, datagram);
                },
                [weak](const udp::endpoint &from) {
                    if (const auto self = weak.lock())
                        self->reject(from, "a datagram larger than 64 KiB");
                },
                [weak](const udp::endpoint &to, int error) {
                    if (const auto self = weak.lock())
                        self->unreachable(to, error);
                },
                [weak](const udp::endpoint &to, int error) {
                    // Refused before anything left this host: not an address
                    // this host can reach at all.
                    if (const auto self = weak.lock()) {
                        for (const Key &key : self->queriesOf(to))
                            self->finish(key, QueryState::invalid, "cannot send to " + describe(to) + ": " + std::strerror(error));
                    }
                }};
            port = std::make_shared<UdpPort>(m_io, endpoint.protocol(), m_options.receiveBufferBytes, std::move(handlers));
        }
        port->listen();
        return *port;
    }

    void send(Query &query, Bytes packet)
    {
        portFor(query.endpoint).send(query.endpoint, std::move(packet));
    }

    void stopReceiving()
    {
        m_pacer.cancel();
        m_pacing = false;
        for (const auto &port : {m_v4, m_v6}) {
            if (port)
                port->stopListening();
        }
    }

    std::vector<Key> queriesOf(const udp::endpoint &endpoint) const
    {
        std::vector<Key> keys;
        for (auto it = m_queries.lower_bound({endpoint, 0}); it != m_queries.end() && it->first.first == endpoint; ++it)
            keys.push_back(it->first);
        return keys;
    }

    void unreachable(const udp::endpoint &endpoint, int error)
    {
        for (const Key &key : queriesOf(endpoint)) {
            if (error == ECONNREFUSED)
                finish(key, QueryState::refused, "refused: nothing listens on " + describe(endpoint) + " (port unreachable)");
            else
                m_queries.at(key)->unreachable = std::strerror(error);
        }
    }

    // A packet that none of the server's queries can take. Anyone who can
    // send from the server's address can send one, so it only says why the
    // queries failed if no proper reply comes before the deadline.
    void reject(const udp::endpoint &sender, const std::string &why)
    {
        for (const Key &key : queriesOf(sender))
            note(*m_queries.at(key), why);
    }

    void note(Query &query, const std::string &why)
    {
        query.rejected = "malformed reply from " + describe(query.endpoint) + ": " + why;
    }

    void receive(const udp::endpoint &sender, ByteView datagram)
    {
        const auto id = replySessionId(datagram);
        if (!id || (datagram[0] != challengeType && datagram[0] != statusType)) {
            reject(sender, "not a UT3 reply");
            return;
        }
        const auto it = m_queries.find({sender, *id});
        if (it == m_queries.end()) {
            char text[16];
            std::snprintf(text, sizeof text, "%08X", *id);
            reject(sender, std::string("a reply under session id ") + text + ", which was never asked for");
            return;
        }
        Query &query = *it->second;
        if (datagram[0] == challengeType) {
            // One challenge per challenge request sent: a server that keeps
            // sending them does not make us send it status requests on and on.
            if (query.challengesTaken == (query.challengeRetried ? 2 : 1))
                return;
            auto parsed = parseChallengeReply(datagram, query.id);
            if (auto *error = std::get_if<std::string>(&parsed))
                return note(query, decodeServerString(*error));
            ++query.challengesTaken;
            query.challenge = std::get<Challenge>(parsed);
            sendStatus(query);
            return;
        }
        if (!query.statusAsked)
            return; // nothing asked for it
        if (const std::string error = query.reply.add(datagram); !error.empty())
            return note(query, error);
        if (!query.pingMs)
            query.pingMs = std::chrono::duration<double, std::milli>(Clock::now() - query.statusSentAt).count();
        if (query.reply.complete())
            finish(it->first, QueryState::online, {}, interpret(query.reply.raw(), true));
    }

    asio::io_context &m_io;
    ClientOptions m_options;
    udp::resolver m_resolver;
    asio::steady_timer m_pacer;
    bool m_pacing = false;
    std::mt19937 m_random;
    std::shared_ptr<UdpPort> m_v4, m_v6;
    std::map<Key, std::unique_ptr<Query>> m_queries;
    std::deque<Key> m_waiting;
};

Client::Client(asio::io_context &io, ClientOptions options) : m_engine(std::make_shared<Engine>(io, options)) {}

Client::~Client() = default;

void Client::query(QueryTarget target, std::function<void(QueryResult)> done)
{
    m_engine->resolveAndQuery(std::move(target), std::move(done));
}

void Client::query(udp::endpoint endpoint, std::function<void(QueryResult)> done)
{
    QueryTarget target{endpoint.address().to_string(), endpoint.port()};
    m_engine->start(endpoint, std::move(target), std::chrono::system_clock::now(), std::move(done));
}

}
