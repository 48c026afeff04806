#include "history/recorder.h"

namespace history {

namespace {

// A batch this large is written at once rather than after the gathering
// time.
constexpr std::size_t fullBatch = 2000;
constexpr auto pruneEvery = std::chrono::hours(1);

}

Recorder::Recorder(RecorderOptions options) : m_options(std::move(options)), m_thread([this] { run(); }) {}

Recorder::~Recorder()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void Recorder::record(Sample sample)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_samples.size() >= m_options.queueLimit) {
            m_samples.pop_front();
            ++m_done;
        }
        m_samples.push_back(std::move(sample));
        noteWaiting();
        ++m_queued;
    }
    m_wake.notify_all();
}

void Recorder::noteLookup(ServerKey server, AskedAs asked, Seconds time)
{
    {
        std::lock_guard lock(m_mutex);
        m_lookups.push_back({std::move(server), std::move(asked), time});
        noteWaiting();
        ++m_queued;
    }
    m_wake.notify_all();
}

void Recorder::flush()
{
    std::unique_lock lock(m_mutex);
    const std::uint64_t target = m_queued;
    m_wake.notify_all();
    m_written.wait(lock, [&] { return m_done >= target && !m_pruning; });
}

std::optional<Fault> Recorder::fault() const
{
    std::lock_guard lock(m_mutex);
    return m_fault;
}

std::uint64_t Recorder::writeFaults() const
{
    std::lock_guard lock(m_mutex);
    return m_writeFaults;
}

std::optional<Seconds> Recorder::waitingSince() const
{
    std::lock_guard lock(m_mutex);
    return m_waitingSince;
}

Seconds Recorder::now() const
{
    return m_options.now ? m_options.now() : std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

void Recorder::noteWaiting()
{
    if (m_queued == m_done)
        m_waitingSince = now();
}

void Recorder::setFault(std::optional<Fault> fault)
{
    std::lock_guard lock(m_mutex);
    if (fault)
        ++m_writeFaults;
    m_fault = std::move(fault);
}

void Recorder::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        // A prune goes a step at a time between the writes, and on by
        // itself when nothing is queued; samples wait at most one step.
        m_wake.wait(lock, [&] { return m_stopping || m_pruning || !m_samples.empty() || !m_lookups.empty(); });
        if (!m_stopping && !m_pruning)
            m_wake.wait_for(lock, m_options.gather, [&] { return m_stopping || m_samples.size() >= fullBatch; });
        if (m_samples.empty() && m_lookups.empty() && (m_stopping || !m_pruning)) {
            if (m_stopping)
                return;
            continue;
        }
        std::vector<Sample> samples(std::make_move_iterator(m_samples.begin()), std::make_move_iterator(m_samples.end()));
        m_samples.clear();
        auto lookups = std::exchange(m_lookups, {});
        lock.unlock();
        write(samples, lookups);
        lock.lock();
        m_done += samples.size() + lookups.size();
        m_pruning = m_pruneBefore.has_value();
        // What came while this batch was written waits from now on, as
        // far as anyone can tell.
        m_waitingSince = m_queued == m_done ? std::nullopt : std::optional(now());
        m_written.notify_all();
    }
}

void Recorder::write(std::vector<Sample> &samples, std::vector<Lookup> &lookups)
{
    // Opened here, and again after a failure to open: a lock held by
    // another process goes away, and the file may be moved aside.
    if (!m_store) {
        auto opened = m_options.open();
        if (!opened)
            return setFault(opened.fault());
        m_store = std::move(*opened);
    }
    for (const Lookup &lookup : lookups)
        if (auto done = m_store->noteLookup(lookup.server, lookup.asked, lookup.time); !done.ok())
            return setFault(done.fault());
    if (!samples.empty())
        if (auto done = m_store->record(samples); !done.ok())
            return setFault(done.fault());

    const Seconds at = now();
    if (!m_pruneBefore && (!m_lastPrune || at - *m_lastPrune >= pruneEvery)) {
        m_lastPrune = at;
        m_pruneBefore = at - m_options.keep;
    }
    if (m_pruneBefore) {
        auto step = m_store->pruneStep(*m_pruneBefore);
        // A prune that fails is tried again at the next hour's.
        if (!step || *step)
            m_pruneBefore.reset();
        if (!step)
            return setFault(step.fault());
    }
    setFault(std::nullopt);
}

}
