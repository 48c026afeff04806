#include "history/threadedstore.h"

namespace history {

ThreadedStore::ThreadedStore(StoreOpener open, std::string where, SessionRule sessions, std::chrono::milliseconds wait)
    : Store(sessions), m_open(std::move(open)), m_where(std::move(where)), m_wait(wait), m_thread([this] { run(); })
{
}

ThreadedStore::~ThreadedStore()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

template<typename Result>
Result ThreadedStore::call(std::function<Result(Store &)> job)
{
    // Shared with the job: an answer that comes too late lands here unread.
    auto answer = std::make_shared<std::optional<Result>>();
    std::unique_lock lock(m_mutex);
    const auto notAnswering = [&] {
        return Fault{FaultKind::locked, "Cannot use the player history in " + m_where + ": the database did not answer within "
                                            + std::to_string(m_wait.count()) + " ms"};
    };
    if (m_busy)
        return Result(notAnswering());
    m_busy = true;
    m_job = [this, answer, job = std::move(job)](Store *store, const Fault &fault) {
        Result result = store ? job(*store) : Result(fault);
        std::lock_guard answered(m_mutex);
        *answer = std::move(result);
    };
    m_wake.notify_all();
    if (!m_answered.wait_for(lock, m_wait, [&] { return answer->has_value(); }))
        return Result(notAnswering());
    return std::move(**answer);
}

void ThreadedStore::run()
{
    std::unique_ptr<Store> store;
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stopping || m_job; });
        if (m_stopping)
            return;
        auto job = std::exchange(m_job, {});
        lock.unlock();
        // Outside the lock: a slow database holds no caller beyond its wait.
        Fault fault;
        if (!store) {
            auto opened = m_open();
            if (opened)
                store = std::move(*opened);
            else
                fault = opened.fault();
        }
        job(store.get(), fault);
        lock.lock();
        m_busy = false;
        m_answered.notify_all();
    }
}

Expected<Done> ThreadedStore::record(std::span<const Sample> samples)
{
    // A copy: the job may outlive this call.
    return call<Expected<Done>>(
        [samples = std::vector<Sample>(samples.begin(), samples.end())](Store &store) { return store.record(samples); });
}

Expected<Done> ThreadedStore::noteLookup(const ServerKey &server, const AskedAs &asked, Seconds time)
{
    return call<Expected<Done>>([server, asked, time](Store &store) { return store.noteLookup(server, asked, time); });
}

Expected<Done> ThreadedStore::prune(Seconds before)
{
    return call<Expected<Done>>([before](Store &store) { return store.prune(before); });
}

Expected<Series> ThreadedStore::series(const ServerKey &server, Seconds now, std::chrono::seconds span, std::chrono::seconds step)
{
    return call<Expected<Series>>([=](Store &store) { return store.series(server, now, span, step); });
}

Expected<std::vector<Series>> ThreadedStore::seriesOf(std::span<const ServerKey> servers, Seconds now, std::chrono::seconds span,
                                                      std::chrono::seconds step)
{
    // The job may run after the caller stopped waiting: it keeps its own copy.
    return call<Expected<std::vector<Series>>>([servers = std::vector(servers.begin(), servers.end()), now, span, step](Store &store) {
        return store.seriesOf(servers, now, span, step);
    });
}

Expected<HourlyAverages> ThreadedStore::hourlyAverages(const ServerKey &server, Seconds since, Seconds until,
                                                       std::chrono::seconds utcOffset)
{
    return call<Expected<HourlyAverages>>([=](Store &store) { return store.hourlyAverages(server, since, until, utcOffset); });
}

Expected<std::vector<RecentServer>> ThreadedStore::recentServers(Seconds since, std::size_t limit)
{
    return call<Expected<std::vector<RecentServer>>>([=](Store &store) { return store.recentServers(since, limit); });
}

Expected<std::vector<ServerKey>> ThreadedStore::serversLookedUpSince(Seconds since)
{
    return call<Expected<std::vector<ServerKey>>>([=](Store &store) { return store.serversLookedUpSince(since); });
}

Expected<std::vector<SeenPlayer>> ThreadedStore::playersSeen(const ServerKey &server, Seconds since, Seconds onlineSince)
{
    return call<Expected<std::vector<SeenPlayer>>>([=](Store &store) { return store.playersSeen(server, since, onlineSince); });
}

Expected<std::vector<PlayerMatch>> ThreadedStore::searchPlayers(std::string_view text, Seconds since, Seconds onlineSince,
                                                                std::size_t limit)
{
    return call<Expected<std::vector<PlayerMatch>>>(
        [text = std::string(text), since, onlineSince, limit](Store &store) { return store.searchPlayers(text, since, onlineSince, limit); });
}

Expected<std::vector<NamedSession>> ThreadedStore::sessionsOf(std::string_view name, Seconds since, Seconds onlineSince,
                                                             std::size_t limit)
{
    return call<Expected<std::vector<NamedSession>>>(
        [name = std::string(name), since, onlineSince, limit](Store &store) { return store.sessionsOf(name, since, onlineSince, limit); });
}

}
