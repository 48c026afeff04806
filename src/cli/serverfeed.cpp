#include "serverfeed.h"

#include "ut3/serverlist.h"

#include <boost/asio/post.hpp>

#include <condition_variable>
#include <mutex>

namespace cli {

// What the reading thread and the io_context's share. The reader posts
// only under the lock and while the feed lives, so never to an io_context
// that is gone.
struct ServerFeed::Shared {
    std::mutex mutex;
    std::condition_variable room;
    std::size_t handedOn = 0, released = 0;
    std::size_t ahead;
    bool stopping = false;
};

ServerFeed::ServerFeed(boost::asio::io_context &io, std::vector<Source> sources, std::size_t ahead)
    : m_io(io), m_sources(std::move(sources)), m_shared(std::make_shared<Shared>())
{
    m_shared->ahead = ahead;
}

ServerFeed::~ServerFeed()
{
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->stopping = true;
    }
    m_shared->room.notify_one();
    // Normally the reader has ended; one still waiting for its input when
    // the command gives up keeps nothing of the feed's but the shared part.
    if (m_reader.joinable())
        m_reader.detach();
}

void ServerFeed::start(std::function<void(ut3::QueryTarget)> next, std::function<void(std::optional<common::Fault>)> ended)
{
    m_next = std::move(next);
    m_ended = std::move(ended);
    m_work.emplace(m_io.get_executor());
    // The thread touches the feed only through what it posts, and posts
    // only while the feed lives.
    m_reader = std::thread([this, shared = m_shared, sources = std::move(m_sources), &io = m_io]() mutable {
        // Waits for room, then hands on; false once the feed is going.
        const auto handOn = [&](ut3::QueryTarget target) {
            std::unique_lock lock(shared->mutex);
            shared->room.wait(lock, [&] { return shared->stopping || shared->handedOn - shared->released < shared->ahead; });
            if (shared->stopping)
                return false;
            ++shared->handedOn;
            boost::asio::post(io, [this, target = std::move(target)]() mutable { m_next(std::move(target)); });
            return true;
        };
        std::optional<common::Fault> fault;
        for (Source &source : sources) {
            if (auto *target = std::get_if<ut3::QueryTarget>(&source)) {
                if (!handOn(std::move(*target)))
                    return;
                continue;
            }
            ListFile &list = std::get<ListFile>(source);
            ut3::ServerListReader reader(*list.in, list.name);
            auto server = reader.next();
            for (; server && *server; server = reader.next())
                if (!handOn(std::move((*server)->target)))
                    return;
            if (!server) {
                fault = server.fault();
                break;
            }
        }
        const std::lock_guard lock(shared->mutex);
        if (!shared->stopping)
            boost::asio::post(io, [this, fault = std::move(fault)]() mutable {
                m_ended(std::move(fault));
                m_work.reset();
            });
    });
}

void ServerFeed::release(std::size_t count)
{
    if (count == 0)
        return;
    {
        const std::lock_guard lock(m_shared->mutex);
        m_shared->released += count;
    }
    m_shared->room.notify_one();
}

}
