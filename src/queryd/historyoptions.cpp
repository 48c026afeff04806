#include "queryd/historyoptions.h"

#include "queryd/optionrows.h"

#include "history/postgres.h"

namespace queryd {

common::OptionGroup historyOptionGroup(HistoryOptions &options)
{
    using Days = std::chrono::days::rep;
    return {"Player history:",
            {{"--db", {}, "PATH",
              "the history file (SQLite); default $XDG_STATE_HOME/skirvane-queryd/history.sqlite3, else "
              "~/.local/state/skirvane-queryd/history.sqlite3; or a postgresql://USER@HOST:PORT/DBNAME URI (any libpq "
              "URI; postgres:// too) to keep the history in PostgreSQL instead, shared by several instances: one of them "
              "at a time polls",
              [&](std::string_view spelling, std::optional<std::string_view> path) -> common::Expected<common::Done> {
                  if (!path || path->empty())
                      return common::Fault{std::string(spelling) + " needs the path of the history file or a postgresql:// URI"};
                  if (const auto readable = history::postgres::checkUri(std::string(*path)); !readable.ok())
                      return common::Fault{std::string(spelling) + ": " + readable.fault().message};
                  options.database = std::filesystem::path(std::string(*path));
                  return common::Done{};
              }},
             numberOption<Days>("--keep-days", "N", "drop history older than N days (default 30)", 1, 3650,
                                [&](Days v) { options.keep = std::chrono::days(v); }),
             numberOption<std::uint64_t>("--db-max-mb", "N",
                                         "the history file's size limit; the oldest day is dropped to stay within it "
                                         "(default 1024); SQLite only: PostgreSQL's size is its operator's to limit",
                                         1, 1 << 20, [&](std::uint64_t v) { options.maxMegabytes = v; }),
             flagOption("--no-history", "keep no history", [&] { options.enabled = false; }),
             flagOption("--no-player-names",
                        "keep player counts only: no names stored, shown or searched; names are public game data, so "
                        "they are kept by default, with --public too",
                        [&] { options.playerNames = false; }),
             numberOption<long>("--poll-interval", "N", "ask servers looked up lately every N s (default 300)", 1, 86400,
                                [&](long v) { options.pollInterval = std::chrono::seconds(v); }),
             numberOption<Days>("--poll-days", "N", "poll servers looked up in the last N days (default 7)", 1, 365,
                                [&](Days v) { options.pollWindow = std::chrono::days(v); }),
             numberOption<std::size_t>("--poll-in-flight", "N", "at most N polls at once (default 16)", 1, 1024,
                                       [&](std::size_t v) { options.pollInFlight = v; }),
             {"--servers", {}, "FILE",
              "poll the servers listed in FILE every --poll-interval, whether or not anyone looks them up: one "
              "HOST[:PORT] a line, optionally followed by a blank and the server's web port; blank lines and lines "
              "starting with # are skipped. SIGHUP reads the file again",
              [&](std::string_view spelling, std::optional<std::string_view> path) -> common::Expected<common::Done> {
                  if (!path || path->empty())
                      return common::Fault{std::string(spelling) + " needs the path of a server list"};
                  options.serverList = std::string(*path);
                  return common::Done{};
              }},
             numberOption<std::size_t>("--poll-max-servers", "N",
                                       "poll at most N servers (default 2000): those of --servers first, then those "
                                       "looked up latest",
                                       1, 1000000, [&](std::size_t v) { options.pollMaxServers = v; }),
             flagOption("--no-poll", "record only the lookups users make", [&] { options.poll = false; })}};
}

}
