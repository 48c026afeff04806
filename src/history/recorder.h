#pragma once

#include "history/fault.h"
#include "history/sample.h"
#include "history/store.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace history {

struct RecorderOptions
{
    // Opens the store on the writing thread, and again after a failure.
    StoreOpener open;
    // Samples older than this are dropped, checked every hour.
    std::chrono::days keep{30};
    // Samples arriving within this time share one transaction.
    std::chrono::milliseconds gather{100};
    // Beyond this many waiting samples (the file locked for long), the
    // oldest are dropped and counted.
    std::size_t queueLimit = 20000;
    // The time pruning goes by; the system clock unless a test simulates one.
    std::function<Seconds()> now;
};

// Writes samples on a thread of its own, so that a caller on an event loop
// never waits for the disk or for another process's lock: record() only
// queues. Samples are written in batches, one transaction each; a kill
// loses at most the samples still queued or in the batch being written.
class Recorder final
{
public:
    explicit Recorder(RecorderOptions options);
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;
    // Writes what is queued, then ends the thread.
    ~Recorder();

    void record(Sample sample);
    void noteLookup(ServerKey server, AskedAs asked, Seconds time);
    // Waits until everything queued so far has been written or has failed,
    // and the prune under way, if any, is over.
    void flush();

    // Why the latest write (or opening the file) failed; nothing once a
    // later write succeeded.
    std::optional<Fault> fault() const;
    // Batches whose write (or the opening before it) failed, since the start.
    std::uint64_t writeFaults() const;
    // Since when something queued has waited to be written, while something
    // has: a write that never ends (on a lock held elsewhere, say) shows
    // here, where no fault ever would.
    std::optional<Seconds> waitingSince() const;

private:
    void run();
    struct Lookup
    {
        ServerKey server;
        AskedAs asked;
        Seconds time;
    };
    void write(std::vector<Sample> &samples, std::vector<Lookup> &lookups);
    void setFault(std::optional<Fault> fault);
    Seconds now() const;
    // Under the lock: something is queued now.
    void noteWaiting();

    const RecorderOptions m_options;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_written;
    std::deque<Sample> m_samples;
    std::vector<Lookup> m_lookups;
    std::uint64_t m_queued = 0;
    std::uint64_t m_done = 0;
    std::uint64_t m_writeFaults = 0;
    std::optional<Fault> m_fault;
    std::optional<Seconds> m_waitingSince;
    bool m_stopping = false;
    bool m_pruning = false;

    // Used by the writing thread alone.
    std::unique_ptr<Store> m_store;
    std::optional<Seconds> m_lastPrune;
    // The time the prune under way drops what is older than.
    std::optional<Seconds> m_pruneBefore;

    std::thread m_thread;
};

}
