#include "history/recorder.h"
#include "history/sqlitestore.h"

#include "succeeded.h"
#include "tempfolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>

using namespace history;

namespace {

const ServerKey deck{"192.0.2.10", 6500};
constexpr long long evening = 1796155200;

// A forked process running `work` with a pipe back to this one; killed if
// still running when dropped.
class Child final
{
public:
    explicit Child(const std::function<void(int out)> &work)
    {
        int ends[2];
        if (pipe(ends) != 0)
            throw std::runtime_error("pipe");
        if ((m_pid = fork()) == 0) {
            close(ends[0]);
            work(ends[1]);
            _exit(0);
        }
        close(ends[1]);
        m_out = ends[0];
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    ~Child() { stop(); close(m_out); }

    // The next line it writes, without the newline; what is left at its end.
    std::string line()
    {
        std::string text;
        for (char c; read(m_out, &c, 1) == 1 && c != '\n';)
            text += c;
        return text;
    }
    // The wait status once it ends.
    int wait()
    {
        int status = -1;
        if (m_pid > 0)
            waitpid(m_pid, &status, 0);
        m_pid = -1;
        return status;
    }
    void stop()
    {
        if (m_pid > 0)
            kill(m_pid, SIGKILL);
        wait();
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
};

void say(int out, const std::string &text)
{
    [[maybe_unused]] auto written = write(out, text.data(), text.size());
}

std::vector<Sample> day(const ServerKey &server, long long start)
{
    std::vector<Sample> samples;
    for (long long t = start; t < start + 86400; t += 300)
        samples.push_back({server, at(t), static_cast<int>(t / 300 % 13), 1, "DM-Deck"});
    return samples;
}

std::filesystem::path realFile(const TempFolder &folder)
{
    const auto path = folder / "history.sqlite3";
    auto store = SqliteStore::open(path);
    for (int server = 0; server < 20; ++server)
        EXPECT_TRUE(succeeded((*store)->record(day({"10.0.0." + std::to_string(server), 6500}, evening))));
    return path;
}

// The file after SQLite itself ran `sql` on it.
std::filesystem::path withSql(const std::filesystem::path &path, const char *sql)
{
    sqlExec(path, sql);
    return path;
}

struct LeftAlone
{
    const char *name;
    std::function<std::filesystem::path(const TempFolder &)> make;
    FaultKind kind;
};

class FileLeftAlone : public testing::TestWithParam<LeftAlone>
{
};

}

// Files the store must not use are reported and stay byte for byte as they
// were: the user may want them back.
TEST_P(FileLeftAlone, IsReportedAndKeptAsItWas)
{
    TempFolder folder;
    const auto path = GetParam().make(folder);
    const std::string before = fileBytes(path);
    auto store = SqliteStore::open(path);
    ASSERT_FALSE(store) << "opened " << GetParam().name;
    EXPECT_EQ(store.fault().kind, GetParam().kind) << store.fault().message;
    EXPECT_NE(store.fault().message.find(path.string()), std::string::npos) << store.fault().message;
    EXPECT_TRUE(fileBytes(path) == before) << "the file was changed";

    // The writer thread reports the same.
    Recorder recorder({.open = SqliteStore::opener(path)});
    recorder.record({deck, at(evening), 3, 0, "DM-Deck"});
    recorder.flush();
    ASSERT_TRUE(recorder.fault());
    EXPECT_EQ(recorder.fault()->kind, GetParam().kind);
    EXPECT_TRUE(fileBytes(path) == before) << "the file was changed";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FileLeftAlone,
    testing::Values(
        LeftAlone{"truncated",
                  [](const TempFolder &folder) {
                      const auto path = realFile(folder);
                      std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
                      return path;
                  },
                  FaultKind::corrupt},
        LeftAlone{"text",
                  [](const TempFolder &folder) {
                      const auto path = folder / "history.sqlite3";
                      std::ofstream(path) << "[SERVER]\nSERVER1IP=192.0.2.10\n" << std::string(5000, 'x');
                      return path;
                  },
                  FaultKind::corrupt},
        LeftAlone{"newer",
                  [](const TempFolder &folder) {
                      return withSql(realFile(folder), "PRAGMA journal_mode = DELETE; PRAGMA user_version = 99");
                  },
                  FaultKind::newerSchema},
        LeftAlone{"foreign",
                  [](const TempFolder &folder) {
                      return withSql(folder / "history.sqlite3", "CREATE TABLE photos(id, name)");
                  },
                  FaultKind::other}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Faults, FolderThatCannotBeMade)
{
    TempFolder folder;
    std::ofstream(folder / "state") << "a file, not a folder";
    auto store = SqliteStore::open(folder / "state/skirvane-queryd/history.sqlite3");
    ASSERT_FALSE(store);
    EXPECT_EQ(store.fault().kind, FaultKind::cannotOpen);
    EXPECT_NE(store.fault().message.find("Not a directory"), std::string::npos) << store.fault().message;
}

TEST(Faults, ReadOnlyFile)
{
    TempFolder folder;
    const auto path = realFile(folder);
    // Permissions do not bind root: the check then runs as "nobody".
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read
                                           | std::filesystem::perms::others_read);
    std::filesystem::permissions(folder.path(), std::filesystem::perms::owner_all | std::filesystem::perms::others_exec
                                                    | std::filesystem::perms::others_read);
    Child child([&](int out) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            return say(out, "cannot become nobody");
        auto store = SqliteStore::open(path);
        say(out, store ? "opened" : std::to_string(static_cast<int>(store.fault().kind)) + " " + store.fault().message);
    });
    const std::string message = child.line();
    EXPECT_EQ(message.substr(0, 2), std::to_string(static_cast<int>(FaultKind::readOnly)) + " ") << message;
    EXPECT_NE(message.find(path.string()), std::string::npos) << message;
}

TEST(Faults, LockedByAnotherProcessThenFreed)
{
    TempFolder folder;
    const auto path = realFile(folder);
    Child locker([&](int out) {
        sqlite3 *db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
        say(out, "locked\n");
        pause();
    });
    ASSERT_EQ(locker.line(), "locked");

    auto store = SqliteStore::open(path, {.busyTimeout = std::chrono::milliseconds(100)});
    ASSERT_TRUE(store) << store.fault().message;
    const auto written = (*store)->record(day(deck, evening + 86400));
    ASSERT_FALSE(written.ok());
    EXPECT_EQ(written.fault().kind, FaultKind::locked) << written.fault().message;
    // Pages can still show what is there.
    EXPECT_TRUE((*store)->series({"10.0.0.1", 6500}, at(evening + 86400)));

    locker.stop(); // the lock goes with the process
    EXPECT_TRUE(succeeded((*store)->record(day(deck, evening + 86400))));
}

TEST(Faults, TwoProcessesWritingAtOnce)
{
    TempFolder folder;
    const auto path = folder / "history.sqlite3";
    ASSERT_TRUE(SqliteStore::open(path));
    const auto writeDays = [&](const ServerKey &server) {
        auto store = SqliteStore::open(path);
        for (int d = 0; d < 10 && store; ++d)
            for (const Sample &sample : day(server, evening + d * 86400))
                if (auto written = (*store)->record(std::span(&sample, 1)); !written.ok())
                    return written.fault().message;
        return store ? std::string() : store.fault().message;
    };
    Child other([&](int) { _exit(writeDays({"198.51.100.7", 7787}).empty() ? 0 : 1); });
    EXPECT_EQ(writeDays(deck), "");
    EXPECT_EQ(other.wait(), 0);
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM samples"), 2 * 10 * 288);
    EXPECT_EQ(sqlText(path, "PRAGMA integrity_check"), "ok");
}

TEST(Faults, KilledWhileWritingLosesOnlyRowsInFlight)
{
    TempFolder folder;
    const auto path = folder / "history.sqlite3";
    Child writer([&](int out) {
        Recorder recorder({.open = SqliteStore::opener(path)});
        for (long long written = 0;; written += 288) {
            for (Sample &sample : day(deck, evening + written * 300))
                recorder.record(std::move(sample));
            recorder.flush();
            say(out, std::to_string(written + 288) + "\n");
        }
    });
    long long confirmed = 0;
    while (confirmed < 20 * 288) {
        const std::string line = writer.line();
        ASSERT_FALSE(line.empty()) << "the writer ended";
        confirmed = std::stoll(line);
    }
    writer.stop();

    EXPECT_EQ(sqlText(path, "PRAGMA integrity_check"), "ok");
    EXPECT_GE(sqlValue(path, "SELECT count(*) FROM samples"), confirmed);
    EXPECT_TRUE(SqliteStore::open(path));
}
