#pragma once

#include "servicefixture.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

// skirvane-queryd (the program at SKIRVANE_QUERYD), or another program, as a
// child process with its output in a file; killed when the test is done
// with it.
class Process final {
public:
    // Starts the service with its output in a file. A socket given
    // is handed over as systemd does: descriptor 3, LISTEN_FDS and LISTEN_PID.
    explicit Process(std::vector<std::string> arguments, int handedOver = -1, const char *program = SKIRVANE_QUERYD)
    {
        m_log = std::filesystem::temp_directory_path() / ("queryd-test-" + std::to_string(::getpid()) + "-"
                                                          + std::to_string(++s_count) + ".log");
        const int logFd = ::open(m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(logFd, STDOUT_FILENO);
            ::dup2(logFd, STDERR_FILENO);
            if (handedOver >= 0) {
                ::dup2(handedOver, 3);
                ::setenv("LISTEN_FDS", "1", 1);
                ::setenv("LISTEN_PID", std::to_string(::getpid()).c_str(), 1);
            }
            std::vector<char *> argv{const_cast<char *>(program)};
            for (std::string &argument : arguments)
                argv.push_back(argument.data());
            argv.push_back(nullptr);
            ::execv(program, argv.data());
            ::_exit(127);
        }
        ::close(logFd);
    }
    ~Process()
    {
        if (m_pid > 0 && !m_status) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        std::filesystem::remove(m_log);
    }

    std::string log() const
    {
        std::ifstream file(m_log);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    // The port from the service's first line, "... listening on 127.0.0.1:PORT".
    std::uint16_t waitForPort() const
    {
        std::uint16_t port = 0;
        waitFor(
            [&] {
                const std::string text = log();
                const auto at = text.find("listening on 127.0.0.1:");
                const auto end = text.find('\n', at);
                if (at != std::string::npos && end != std::string::npos)
                    port = static_cast<std::uint16_t>(std::stoul(text.substr(at + 23, end - at - 23)));
                return port != 0;
            },
            std::chrono::seconds(20));
        return port;
    }

    // The exit status, or nothing if the process still runs after the wait.
    std::optional<int> waitForExit(std::chrono::seconds wait)
    {
        waitFor(
            [&] {
                int status = 0;
                if (!m_status && ::waitpid(m_pid, &status, WNOHANG) == m_pid)
                    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return m_status.has_value();
            },
            wait);
        return m_status;
    }

    void signal(int number) const { ::kill(m_pid, number); }

private:
    static inline int s_count = 0;
    pid_t m_pid = -1;
    std::optional<int> m_status;
    std::filesystem::path m_log;
};

