#include "queryd/historyoptions.h"
#include "ut3/number.h"

#include "history/postgres.h"

namespace queryd {

std::optional<std::string> takeHistoryOptions(std::vector<std::string> &arguments, HistoryOptions &options)
{
    struct Numeric {
        const char *name;
        long long min, max;
        void (*apply)(HistoryOptions &, long long);
    };
    static constexpr Numeric numerics[] = {
        {"--keep-days", 1, 3650, [](HistoryOptions &o, long long v) { o.keep = std::chrono::days(v); }},
        {"--db-max-mb", 1, 1 << 20, [](HistoryOptions &o, long long v) { o.maxMegabytes = std::uint64_t(v); }},
        {"--poll-interval", 1, 86400, [](HistoryOptions &o, long long v) { o.pollInterval = std::chrono::seconds(v); }},
        {"--poll-days", 1, 365, [](HistoryOptions &o, long long v) { o.pollWindow = std::chrono::days(v); }},
        {"--poll-in-flight", 1, 1024, [](HistoryOptions &o, long long v) { o.pollInFlight = std::size_t(v); }},
    };
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        // "--name value" and "--name=value" alike.
        const auto value = [&]() -> std::optional<std::string> {
            if (equals != std::string::npos)
                return argument.substr(equals + 1);
            if (i + 1 < arguments.size())
                return arguments[++i];
            return std::nullopt;
        };
        if (argument == "--no-history") {
            options.enabled = false;
        } else if (argument == "--no-poll") {
            options.poll = false;
        } else if (argument == "--no-player-names") {
            options.playerNames = false;
        } else if (name == "--db") {
            const auto path = value();
            if (!path || path->empty())
                return "--db needs the path of the history file or a postgresql:// URI";
            if (const auto problem = history::postgres::uriProblem(*path))
                return "--db: " + *problem;
            options.database = *path;
        } else if (const auto *numeric = [&]() -> const Numeric * {
                       for (const Numeric &candidate : numerics)
                           if (name == candidate.name)
                               return &candidate;
                       return nullptr;
                   }()) {
            const auto text = value();
            const auto parsed = text ? ut3::wholeNumber<long long>(*text, numeric->min, numeric->max) : std::nullopt;
            if (!parsed)
                return std::string(numeric->name) + " needs a whole number from " + std::to_string(numeric->min) + " to "
                    + std::to_string(numeric->max) + (text ? "; it was '" + *text + "'" : "");
            numeric->apply(options, *parsed);
        } else {
            rest.push_back(argument);
        }
    }
    arguments = std::move(rest);
    return std::nullopt;
}

std::string historyHelp()
{
    return "\nPlayer history:\n"
           "  --db PATH             the history file (SQLite); default\n"
           "                        $XDG_STATE_HOME/skirvane-queryd/history.sqlite3, else\n"
           "                        ~/.local/state/skirvane-queryd/history.sqlite3\n"
           "  --db postgresql://USER@HOST:PORT/DBNAME\n"
           "                        keep the history in PostgreSQL instead (any libpq\n"
           "                        URI; postgres:// too), shared by several instances:\n"
           "                        one of them at a time polls\n"
           "  --keep-days N         drop history older than N days (default 30)\n"
           "  --db-max-mb N         the history file's size limit; the oldest day is\n"
           "                        dropped to stay within it (default 1024); SQLite\n"
           "                        only: PostgreSQL's size is its operator's to limit\n"
           "  --no-history          keep no history\n"
           "  --no-player-names     keep player counts only: no names stored, shown or\n"
           "                        searched; names are public game data, so they\n"
           "                        are kept by default, with --public too\n"
           "  --poll-interval N     ask servers looked up lately every N s (default 300)\n"
           "  --poll-days N         poll servers looked up in the last N days (default 7)\n"
           "  --poll-in-flight N    at most N polls at once (default 16)\n"
           "  --no-poll             record only the lookups users make\n";
}

}
