#include "ut3/client.h"

#include "ut3/interpret.h"
#include "ut3/packets.h"
#include "ut3/reply.h"
#include "ut3/text.h"

#include <boost/asio/ip/address.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include <linux/errqueue.h>
#include <netinet/in.h>
#include <sys/socket.h>

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

// The largest datagram UDP can carry; replies are well over 1 KiB.
constexpr std::size_t datagramBuffer = 64 * 1024;

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
        const std::string host = target.host, port = std::to_string(target.port);
        m_resolver.async_resolve(host, port, [weak = weak_from_this(), target = std::move(target), queriedAt, done = std::move(done)](
                                                 const boost::system::error_code &error, udp::resolver::results_type results) mutable {
            const auto self = weak.lock();
            if (!self)
                return;
            if (error || results.empty()) {
                QueryResult result{target, QueryState::invalid, "cannot resolve " + target.host + ": " + (error ? error.message() : "no address"), {}, {}, queriedAt};
                done(std::move(result));
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
            self->start(chosen->endpoint(), std::move(target), queriedAt, std::move(done));
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
        Clock::time_point challengeSentAt{}, statusSentAt{};
        std::optional<double> pingMs;
        // Why packets from the server were not taken, for the final message.
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
        if (send(query, challengeRequest(query.id)))
            schedule(query);
    }

    void sendStatus(Query &query)
    {
        query.statusSentAt = Clock::now();
        query.statusAsked = true;
        if (send(query, statusRequest(query.id, query.challenge->value)))
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
        std::unique_ptr<Query> query = std::move(it->second);
        m_queries.erase(it);
        query->timer.cancel();
        if (m_queries.empty())
            stopReceiving();
        QueryResult result{std::move(query->target), state, std::move(error), std::move(status), query->pingMs, query->queriedAt};
        query->done(std::move(result));
    }

    udp::socket &socketFor(const udp::endpoint &endpoint)
    {
        auto &slot = endpoint.address().is_v6() ? m_v6 : m_v4;
        if (!slot) {
            slot.emplace(m_io, endpoint.protocol());
            slot->non_blocking(true);
            const int fd = slot->native_handle();
            const int size = int(m_options.receiveBufferBytes);
            // Beyond the system's limit only with the privilege to force it.
            if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
                setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
            // ICMP errors, with the address they concern, so that a closed
            // port on one server is told apart on a socket shared by all.
            const int on = 1;
            if (endpoint.address().is_v6())
                setsockopt(fd, IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof on);
            else
                setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
        }
        if (!(endpoint.address().is_v6() ? m_v6Armed : m_v4Armed))
            arm(endpoint.address().is_v6());
        return *slot;
    }

    bool send(Query &query, const Bytes &packet)
    {
        boost::system::error_code error;
        socketFor(query.endpoint).send_to(asio::buffer(packet), query.endpoint, 0, error);
        if (error == asio::error::would_block || error == asio::error::try_again)
            return true; // as if lost: the retry sends it again
        if (error) {
            // Refused before anything left this host: the address is not one
            // this host can reach at all.
            finish({query.endpoint, query.id}, QueryState::invalid, "cannot send to " + describe(query.endpoint) + ": " + error.message());
            return false;
        }
        return true;
    }

    void arm(bool v6)
    {
        (v6 ? m_v6Armed : m_v4Armed) = true;
        (v6 ? *m_v6 : *m_v4).async_wait(udp::socket::wait_read, [weak = weak_from_this(), v6](const boost::system::error_code &error) {
            const auto self = weak.lock();
            if (!self)
                return;
            bool &armed = v6 ? self->m_v6Armed : self->m_v4Armed;
            armed = false;
            if (!error)
                self->drain(v6 ? *self->m_v6 : *self->m_v4);
            // Also after a cancel: queries may have been added since.
            if (!self->m_queries.empty() && !armed)
                self->arm(v6);
        });
    }

    void stopReceiving()
    {
        m_pacer.cancel();
        m_pacing = false;
        for (auto *socket : {&m_v4, &m_v6}) {
            if (*socket)
                (*socket)->cancel();
        }
    }

    // Reads until the socket would block: a thousand replies can be waiting.
    void drain(udp::socket &socket)
    {
        const int fd = socket.native_handle();
        while (true) {
            sockaddr_storage from{};
            socklen_t fromLength = sizeof from;
            const ssize_t length = ::recvfrom(fd, m_buffer.data(), m_buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                                              reinterpret_cast<sockaddr *>(&from), &fromLength);
            if (length < 0) {
                if (errno == EINTR)
                    continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK)
                    break;
                // An ICMP error is reported here once; its details wait in the error queue.
                readErrors(fd);
                continue;
            }
            udp::endpoint sender;
            std::memcpy(sender.data(), &from, std::min<std::size_t>(fromLength, sizeof from));
            sender.resize(fromLength);
            if (std::size_t(length) > m_buffer.size())
                reject(sender, std::nullopt, "a datagram larger than " + std::to_string(m_buffer.size() / 1024) + " KiB", true);
            else
                receive(sender, ByteView(m_buffer.data(), std::size_t(length)));
        }
        readErrors(fd);
    }

    void readErrors(int fd)
    {
        while (true) {
            sockaddr_storage target{};
            char control[512];
            iovec io{m_buffer.data(), m_buffer.size()};
            msghdr message{};
            message.msg_name = &target;
            message.msg_namelen = sizeof target;
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            if (::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
                return;
            for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                const bool v4 = c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR;
                const bool v6 = c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_RECVERR;
                if (!v4 && !v6)
                    continue;
                sock_extended_err report;
                std::memcpy(&report, CMSG_DATA(c), sizeof report);
                udp::endpoint endpoint;
                std::memcpy(endpoint.data(), &target, std::min<std::size_t>(message.msg_namelen, sizeof target));
                endpoint.resize(message.msg_namelen);
                unreachable(endpoint, int(report.ee_errno));
            }
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

    // A packet that none of the server's queries can take. Garbage fails them
    // at once; a reply under a session id nobody used (a stale or mangled
    // one) only if no proper reply comes before the deadline.
    void reject(const udp::endpoint &sender, std::optional<SessionId> id, const std::string &why, bool fatal)
    {
        for (const Key &key : queriesOf(sender)) {
            if (id && key.second != *id)
                continue;
            const std::string message = "malformed reply from " + describe(sender) + ": " + why;
            if (fatal)
                finish(key, QueryState::malformed, message);
            else
                m_queries.at(key)->rejected = message;
        }
    }

    void receive(const udp::endpoint &sender, ByteView datagram)
    {
        const auto id = replySessionId(datagram);
        if (!id || (datagram[0] != challengeType && datagram[0] != statusType)) {
            reject(sender, std::nullopt, "not a UT3 reply", true);
            return;
        }
        const auto it = m_queries.find({sender, *id});
        if (it == m_queries.end()) {
            char text[16];
            std::snprintf(text, sizeof text, "%08X", *id);
            reject(sender, std::nullopt, std::string("a reply under session id ") + text + ", which was never asked for", false);
            return;
        }
        Query &query = *it->second;
        if (datagram[0] == challengeType) {
            auto parsed = parseChallengeReply(datagram, query.id);
            if (auto *error = std::get_if<std::string>(&parsed)) {
                finish(it->first, QueryState::malformed, "malformed reply from " + describe(sender) + ": " + decodeServerString(*error));
                return;
            }
            query.challenge = std::get<Challenge>(parsed);
            sendStatus(query);
            return;
        }
        if (!query.statusAsked)
            return; // nothing asked for it
        if (const std::string error = query.reply.add(datagram); !error.empty()) {
            finish(it->first, QueryState::malformed, "malformed reply from " + describe(sender) + ": " + error);
            return;
        }
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
    std::optional<udp::socket> m_v4, m_v6;
    bool m_v4Armed = false, m_v6Armed = false;
    std::vector<std::uint8_t> m_buffer = std::vector<std::uint8_t>(datagramBuffer);
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
