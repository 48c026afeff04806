#pragma once

#include "history/store.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace history {

// A store used through a thread of its own, for a caller on an event loop
// that must not wait for a database server: each call waits at most
// `wait` for its answer, and a call made while an earlier one is still
// under way (connecting to a server that does not answer, say) is told so
// at once. The store is opened on that thread, and opened again there after
// a failure, as the opener allows.
class ThreadedStore final : public Store
{
public:
    ThreadedStore(StoreOpener open, std::string where, SessionRule sessions, std::chrono::milliseconds wait);
    ThreadedStore(const ThreadedStore &) = delete;
    ThreadedStore &operator=(const ThreadedStore &) = delete;
    ~ThreadedStore() override;

    std::string where() const override { return m_where; }

    Expected<Done> record(std::span<const Sample> samples) override;
    Expected<Done> noteLookup(const ServerKey &server, const AskedAs &asked, Seconds time) override;
    Expected<Done> prune(Seconds before) override;
    Expected<Series> series(const ServerKey &server, Seconds now, std::chrono::seconds span,
                            std::chrono::seconds step) override;
    Expected<std::vector<Series>> seriesOf(std::span<const ServerKey> servers, Seconds now, std::chrono::seconds span,
                                           std::chrono::seconds step) override;
    Expected<HourlyAverages> hourlyAverages(const ServerKey &server, Seconds since, Seconds until,
                                            std::chrono::seconds utcOffset) override;
    Expected<std::vector<RecentServer>> recentServers(Seconds since, std::size_t limit) override;
    Expected<std::vector<ServerKey>> serversLookedUpSince(Seconds since) override;
    Expected<std::vector<SeenPlayer>> playersSeen(const ServerKey &server, Seconds since, Seconds onlineSince) override;
    Expected<std::vector<PlayerMatch>> searchPlayers(std::string_view text, Seconds since, Seconds onlineSince,
                                                     std::size_t limit) override;
    Expected<std::vector<NamedSession>> sessionsOf(std::string_view name, Seconds since, Seconds onlineSince,
                                                   std::size_t limit) override;

private:
    // Runs `job` on the store's thread; the fault when the store cannot be
    // opened, is busy or does not answer in time.
    template<typename Result>
    Result call(std::function<Result(Store &)> job);
    void run();

    const StoreOpener m_open;
    const std::string m_where;
    const std::chrono::milliseconds m_wait;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_answered;
    std::function<void(Store *, const Fault &)> m_job;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_thread;
};

}
