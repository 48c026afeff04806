#include "history/recorder.h"
#include "history/store.h"

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

// Runs `work` in a child process and gives back what it wrote to its pipe.
std::string inChildProcess(const std::function<void(int out)> &work)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        throw std::runtime_error("pipe");
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        work(pipeEnds[1]);
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string output;
    char buffer[512];
    for (ssize_t count; (count = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        output.append(buffer, static_cast<std::size_t>(count));
    close(pipeEnds[0]);
    waitpid(child, nullptr, 0);
    return output;
}

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
    auto store = Store::open(path);
    for (int server = 0; server < 20; ++server)
        EXPECT_FALSE(store->record(day({"10.0.0." + std::to_string(server), 6500}, evening)));
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
    auto store = Store::open(path);
    ASSERT_FALSE(store) << "opened " << GetParam().name;
    EXPECT_EQ(store.fault().kind, GetParam().kind) << store.fault().message;
    EXPECT_NE(store.fault().message.find(path.string()), std::string::npos) << store.fault().message;
    EXPECT_TRUE(fileBytes(path) == before) << "the file was changed";

    // The writer thread reports the same and counts the samples it lost.
    Recorder recorder({.path = path});
    recorder.record({deck, at(evening), 3, 0, "DM-Deck"});
    recorder.flush();
    ASSERT_TRUE(recorder.fault());
    EXPECT_EQ(recorder.fault()->kind, GetParam().kind);
    EXPECT_EQ(recorder.lost(), 1u);
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
                      const auto path = realFile(folder);
                      sqlite3 *db = nullptr;
                      sqlite3_open(path.c_str(), &db);
                      sqlite3_exec(db, "PRAGMA journal_mode = DELETE; PRAGMA user_version = 3", nullptr, nullptr, nullptr);
                      sqlite3_close(db);
                      return path;
                  },
                  FaultKind::newerSchema},
        LeftAlone{"foreign",
                  [](const TempFolder &folder) {
                      const auto path = folder / "history.sqlite3";
                      sqlite3 *db = nullptr;
                      sqlite3_open(path.c_str(), &db);
                      sqlite3_exec(db, "CREATE TABLE photos(id, name)", nullptr, nullptr, nullptr);
                      sqlite3_close(db);
                      return path;
                  },
                  FaultKind::other}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Faults, FolderThatCannotBeMade)
{
    TempFolder folder;
    std::ofstream(folder / "state") << "a file, not a folder";
    auto store = Store::open(folder / "state/skirvane-queryd/history.sqlite3");
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
    const std::string message = inChildProcess([&](int out) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            return say(out, "cannot become nobody");
        auto store = Store::open(path);
        say(out, store ? "opened" : std::to_string(static_cast<int>(store.fault().kind)) + " " + store.fault().message);
    });
    EXPECT_EQ(message.substr(0, 2), std::to_string(static_cast<int>(FaultKind::readOnly)) + " ") << message;
    EXPECT_NE(message.find(path.string()), std::string::npos) << message;
}

TEST(Faults, LockedByAnotherProcessThenFreed)
{
    TempFolder folder;
    const auto path = realFile(folder);
    int release[2];
    ASSERT_EQ(pipe(release), 0);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(release[1]);
        sqlite3 *db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
        say(ready[1], "locked");
        char byte;
        [[maybe_unused]] auto got = read(release[0], &byte, 1);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        _exit(0);
    }
    close(release[0]);
    char signal[6];
    ASSERT_EQ(read(ready[0], signal, sizeof signal), 6);

    auto store = Store::open(path, {.busyTimeout = std::chrono::milliseconds(100)});
    ASSERT_TRUE(store) << store.fault().message;
    const auto failed = store->record(day(deck, evening + 86400));
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->kind, FaultKind::locked) << failed->message;
    // Pages can still show what is there.
    EXPECT_TRUE(store->series({"10.0.0.1", 6500}, at(evening + 86400)));

    close(release[1]);
    waitpid(child, nullptr, 0);
    EXPECT_FALSE(store->record(day(deck, evening + 86400)));
}

TEST(Faults, TwoProcessesWritingAtOnce)
{
    TempFolder folder;
    const auto path = folder / "history.sqlite3";
    ASSERT_TRUE(Store::open(path));
    const auto writeDays = [&](const ServerKey &server) {
        auto store = Store::open(path);
        for (int d = 0; d < 10 && store; ++d)
            for (const Sample &sample : day(server, evening + d * 86400))
                if (auto failed = store->record(std::span(&sample, 1)))
                    return failed->message;
        return store ? std::string() : store.fault().message;
    };
    const pid_t child = fork();
    if (child == 0)
        _exit(writeDays({"198.51.100.7", 7787}).empty() ? 0 : 1);
    EXPECT_EQ(writeDays(deck), "");
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM samples"), 2 * 10 * 288);
    EXPECT_EQ(sqlText(path, "PRAGMA integrity_check"), "ok");
}

TEST(Faults, KilledWhileWritingLosesOnlyRowsInFlight)
{
    TempFolder folder;
    const auto path = folder / "history.sqlite3";
    int reports[2];
    ASSERT_EQ(pipe(reports), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(reports[0]);
        Recorder recorder({.path = path});
        for (long long written = 0;; written += 288) {
            for (Sample &sample : day(deck, evening + written * 300))
                recorder.record(std::move(sample));
            recorder.flush();
            say(reports[1], std::to_string(written + 288) + "\n");
        }
    }
    close(reports[1]);
    std::string seen;
    long long confirmed = 0;
    char buffer[64];
    while (confirmed < 20 * 288) {
        const ssize_t count = read(reports[0], buffer, sizeof buffer);
        ASSERT_GT(count, 0);
        seen.append(buffer, static_cast<std::size_t>(count));
        const auto lastLine = seen.rfind('\n', seen.size() - 2);
        if (seen.back() == '\n')
            confirmed = std::stoll(seen.substr(lastLine == std::string::npos ? 0 : lastLine + 1));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(reports[0]);

    EXPECT_EQ(sqlText(path, "PRAGMA integrity_check"), "ok");
    EXPECT_GE(sqlValue(path, "SELECT count(*) FROM samples"), confirmed);
    EXPECT_TRUE(Store::open(path));
}
