#pragma once

#include "queryd/history.h"
#include "queryd/historyoptions.h"
#include "queryd/liveboard.h"

#include "history/recorder.h"
#include "history/store.h"
#include "ut3/serverlist.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace queryd {

// Player history kept in SQLite or PostgreSQL, as the service shows it: the status page's
// chart and busiest hours, the JSON's series, the start page's sparklines,
// and the servers to poll. Lives on the service's io_context thread; writes
// go to the recorder's thread, reads are a few indexed rows per page.
//
// A history file that cannot be used never stops the service: every part
// then says why instead, and the reason is logged once.
class PlayerHistory final : public ServerHistory {
public:
    using Log = std::function<void(std::string_view)>;
    using Now = std::function<history::Seconds()>;

    struct Setup {
        std::filesystem::path database;
        std::chrono::days keep{30};
        std::uint64_t maxBytes = 0;
        std::chrono::days pollWindow{7};
        std::chrono::seconds pollInterval{300};
        // The most servers polled, and so kept on the live board.
        std::size_t pollMax = 2000;
        // Off: counts alone, no names stored or shown.
        bool keepNames = true;
        // The clock pages and pruning go by, and the local time's offset
        // from UTC; the system's unless a test simulates them.
        Now now;
        std::function<std::chrono::seconds()> utcOffset;
    };

    PlayerHistory(Setup setup, Log log);

    // The file from the options, or the XDG default; the reason when
    // neither can be used.
    static std::shared_ptr<PlayerHistory> fromOptions(const HistoryOptions &options, Log log);

    void record(const ut3::QueryResult &result) override;
    std::vector<history::SeenPlayer> playersSeen(const ut3::QueryTarget &server) override;
    bool keepsNames() const override { return m_setup.keepNames; }
    history::Expected<std::vector<history::PlayerMatch>> searchPlayers(std::string_view text) override;
    void lookedUp(const ut3::QueryTarget &asked, const ut3::QueryTarget &queried, std::uint16_t webPort) override;
    std::vector<RecentServer> recentServers() override;
    std::optional<ServerPast> past(const ut3::QueryTarget &server) override;
    std::optional<history::Series> daySeries(const ut3::QueryTarget &server) override;
    std::vector<std::optional<history::Series>> recentDays(std::span<const ut3::QueryTarget> asked) override;

    // The servers to poll: those of the server list, then those looked up
    // within the poll window, the latest first; at most the setup's pollMax.
    // The live board becomes these servers.
    std::vector<ut3::QueryTarget> serversToPoll();
    // The servers of --servers, polled first and always.
    void setListedServers(std::vector<ut3::ListedServer> servers) { m_listed = std::move(servers); }
    void polled(const ut3::QueryTarget &server, const ut3::QueryResult &result) override;
    std::vector<BoardRow> board() override { return m_board.rows(); }
    std::uint64_t boardVersion() override { return m_board.version(); }
    std::uint16_t webPort(const history::ServerKey &server) override;
    history::Expected<std::vector<history::NamedSession>> playerSessions(std::string_view name) override;
    // Why history is not kept or shown now, if it is not; logs its end.
    // Kept and shown means that every read that failed has since succeeded,
    // that the latest write succeeded, and that the store answered a read
    // within the poll interval: one is made when nothing else read lately.
    std::optional<std::string> unavailable() override;
    std::uint64_t writeFaults() const override { return m_recorder ? m_recorder->writeFaults() : 0; }
    // Waits until every result recorded so far is in the file.
    void flush()
    {
        if (m_recorder)
            m_recorder->flush();
    }

private:
    history::Store *reader();
    // The history is in PostgreSQL rather than a file of its own.
    bool sharedDatabase() const;
    // The file's path, or the database's URI without its password.
    std::string shownDatabase() const;
    void noteFault(const std::optional<history::Fault> &fault);
    // Runs a kind of read on the reader. A failure is logged and holds
    // until that kind of read, tried again, succeeds.
    template<typename Read>
    auto read(const std::string &kind, Read run) -> decltype(run(std::declval<history::Store &>()));
    // Tries the failed reads again, or reads when nothing did within the
    // poll interval; at most once a second.
    void checkReads();
    history::Seconds now() const;
    history::Expected<std::vector<history::Series>> readDays(std::vector<history::ServerKey> servers, history::Seconds at);
    // Names in the server's latest answer count as online while it is this
    // recent.
    history::Seconds onlineSince() const;
    void noteRecent(const ut3::QueryTarget &asked, const ut3::QueryTarget &queried, std::uint16_t webPort, history::Seconds at);

    Setup m_setup;
    Log m_log;
    std::unique_ptr<history::Recorder> m_recorder; // none without a file
    std::unique_ptr<history::Store> m_reader;
    std::optional<history::Fault> m_readerFault;
    std::optional<history::Seconds> m_readerTried;
    struct FailedRead {
        history::Fault fault;
        std::function<std::optional<history::Fault>()> again;
    };
    std::map<std::string, FailedRead> m_failedReads;
    std::optional<history::Seconds> m_lastRead, m_lastCheck;
    // The log said that the history is unavailable, and not yet that it is back.
    bool m_saidUnavailable = false;
    // The faults logged lately, with when each was last logged.
    std::map<std::string, history::Seconds> m_logged;
    // The history is kept by the address queried; a server is asked for
    // as the user named it (a name, say), with a web port.
    struct Asked {
        ut3::QueryTarget queried;
        std::uint16_t webPort;
        history::Seconds noted; // when the lookup was last noted
    };
    std::map<std::pair<std::string, std::uint16_t>, Asked> m_queriedAs;
    // Each server's latest answer, when it came.
    struct Latest {
        history::Seconds time;
        history::Count count;
        std::vector<std::string> names;
        std::string serverName;
    };
    std::map<history::ServerKey, Latest> m_latest;
    std::vector<ut3::ListedServer> m_listed;
    LiveBoard m_board;
    // The latest lookups, the latest first, as the start page lists them
    // before the writer thread has them in the store.
    std::vector<history::RecentServer> m_lookups;
};

}
