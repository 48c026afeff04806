#include "ut3/client.h"

#include "ut3/querysession.h"
#include "ut3/udpport.h"

#include "common/address.h"
#include "common/resolve.h"

#include <boost/asio/ip/address.hpp>
#include <boost/asio/steady_timer.hpp>

#include <deque>
#include <functional>
#include <map>
#include <random>

namespace ut3 {

namespace asio = boost::asio;
using asio::ip::udp;
using Clock = QuerySession::Clock;

// Moves the sessions' bytes, keeps their timers and looks up names; the
// protocol and its deadline are the sessions' own.
class Client::Engine final : public std::enable_shared_from_this<Engine> {
public:
    Engine(asio::io_context &io, ClientOptions options) : m_io(io), m_options(options) {}

    void query(QueryTarget target, std::function<void(QueryResult)> done)
    {
        m_waiting.emplace_back(std::move(target), std::move(done));
        pace();
    }

private:
    using Key = std::pair<udp::endpoint, SessionId>;

    struct Query {
        QuerySession session;
        std::function<void(QueryResult)> done;
        asio::steady_timer timer;
        std::optional<Clock::time_point> armedFor;
    };

    // Begins the queries waiting, one per pacing interval, while fewer than
    // the most are in flight.
    void pace()
    {
        // A query that ends at once calls this again; the loop goes on instead.
        if (m_beginning)
            return;
        m_beginning = true;
        while (!m_pacing && !m_waiting.empty() && (m_options.maxInFlight == 0 || m_inFlight < m_options.maxInFlight)) {
            ++m_inFlight;
            auto [target, done] = std::move(m_waiting.front());
            m_waiting.pop_front();
            begin(target, std::move(done));
            if (m_options.pacing.count() == 0 || m_waiting.empty())
                continue;
            m_pacing = true;
            m_pacer.expires_after(m_options.pacing);
            m_pacer.async_wait([weak = weak_from_this()](const boost::system::error_code &error) {
                if (const auto self = weak.lock(); self && !error) {
                    self->m_pacing = false;
                    self->pace();
                }
            });
        }
        m_beginning = false;
    }

    void begin(const QueryTarget &target, std::function<void(QueryResult)> done)
    {
        const Clock::time_point now = Clock::now();
        QuerySession session(target, m_options.timeout, m_options.retryFraction, now, std::chrono::system_clock::now());
        auto query = std::make_shared<Query>(Query{std::move(session), std::move(done), asio::steady_timer(m_io), {}});
        boost::system::error_code error;
        const auto address = asio::ip::make_address(target.host, error);
        if (!error)
            return start(udp::endpoint(address, target.port), query);
        advance(query);
        // The session's own deadline covers the lookup as well as the query.
        const std::uint16_t port = target.port;
        common::resolveName(m_io, target.host, now + m_options.timeout, [weak = weak_from_this(), query, port](common::ResolvedAddresses resolved) {
            const auto self = weak.lock();
            if (!self || query->session.stage() != QuerySession::Stage::resolving)
                return;
            if (!resolved) {
                query->session.onResolveFailed(resolved.fault().message);
                return self->advance(query);
            }
            self->start(udp::endpoint(common::preferredAddress(*resolved), port), query);
        });
    }

    void start(const udp::endpoint &endpoint, const std::shared_ptr<Query> &query)
    {
        SessionId id;
        do {
            id = SessionId(m_random());
        } while (m_queries.contains({endpoint, id}));
        m_queries.emplace(Key{endpoint, id}, query);
        query->session.start(Clock::now(), endpoint, id);
        advance(query);
    }

    // Sends what the session has to send, then hands on its result or
    // sets its timer.
    void advance(const std::shared_ptr<Query> &query)
    {
        QuerySession &session = query->session;
        for (Bytes &packet : session.takeOutgoing())
            portFor(session.server()).send(session.server(), std::move(packet));
        if (auto result = session.takeResult()) {
            query->timer.cancel();
            const auto it = m_queries.find({session.server(), session.id()});
            if (it != m_queries.end() && it->second == query && (m_queries.erase(it), m_queries.empty())) {
                for (const auto &port : {m_v4, m_v6})
                    if (port)
                        port->stopListening();
            }
            --m_inFlight;
            query->done(std::move(*result));
            pace();
            return;
        }
        const auto wake = session.nextWake();
        if (!wake || wake == query->armedFor)
            return;
        query->armedFor = wake;
        query->timer.expires_at(*wake);
        query->timer.async_wait([weak = weak_from_this(), weakQuery = std::weak_ptr<Query>(query)](const boost::system::error_code &error) {
            const auto self = weak.lock();
            const auto query = weakQuery.lock();
            if (!self || !query || error)
                return;
            query->armedFor.reset();
            query->session.onTimer(Clock::now());
            self->advance(query);
        });
    }

    // Tells the query the reply names, or else every query of the address;
    // any of them may finish.
    void tell(const udp::endpoint &address, std::optional<SessionId> id, const std::function<void(QuerySession &)> &event)
    {
        std::vector<std::shared_ptr<Query>> queries;
        if (const auto it = id ? m_queries.find({address, *id}) : m_queries.end(); it != m_queries.end())
            queries.push_back(it->second);
        for (auto it = m_queries.lower_bound({address, 0}); queries.empty() && it != m_queries.end() && it->first.first == address; ++it)
            queries.push_back(it->second);
        for (const auto &query : queries) {
            event(query->session);
            advance(query);
        }
    }

    UdpPort &portFor(const udp::endpoint &endpoint)
    {
        auto &port = endpoint.address().is_v6() ? m_v6 : m_v4;
        if (!port) {
            const auto each = [weak = weak_from_this()](auto event) {
                return [weak, event](const udp::endpoint &address, auto... details) {
                    if (const auto self = weak.lock())
                        self->tell(address, std::nullopt, [&](QuerySession &session) { event(session, details...); });
                };
            };
            UdpPort::Handlers handlers{
                [weak = weak_from_this()](const udp::endpoint &from, ByteView datagram) {
                    if (const auto self = weak.lock())
                        self->tell(from, replySessionId(datagram), [&](QuerySession &session) { session.onDatagram(Clock::now(), from, datagram); });
                },
                each([](QuerySession &session) { session.onUnreadable("a datagram larger than 64 KiB"); }),
                each([](QuerySession &session, int error) { session.onUnreachable(error); }),
                each([](QuerySession &session, int error) { session.onSendFailed(error); })};
            port = std::make_shared<UdpPort>(m_io, endpoint.protocol(), m_options.receiveBufferBytes, std::move(handlers));
        }
        port->listen();
        return *port;
    }

    asio::io_context &m_io;
    ClientOptions m_options;
    asio::steady_timer m_pacer{m_io};
    std::size_t m_inFlight = 0;
    bool m_beginning = false;
    bool m_pacing = false;
    std::mt19937 m_random{std::random_device{}()};
    std::shared_ptr<UdpPort> m_v4, m_v6;
    // The queries under way, by the address and session id their replies carry.
    std::map<Key, std::shared_ptr<Query>> m_queries;
    std::deque<std::pair<QueryTarget, std::function<void(QueryResult)>>> m_waiting;
};

Client::Client(asio::io_context &io, ClientOptions options) : m_engine(std::make_shared<Engine>(io, options)) {}

Client::~Client() = default;

void Client::query(QueryTarget target, std::function<void(QueryResult)> done)
{
    m_engine->query(std::move(target), std::move(done));
}

void Client::query(udp::endpoint endpoint, std::function<void(QueryResult)> done)
{
    m_engine->query({endpoint.address().to_string(), endpoint.port()}, std::move(done));
}

}
