#include "queryd/inheritedsockets.h"

#include "common/number.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace queryd {

namespace {

constexpr int FirstFd = 3;

std::optional<long> number(const char *text)
{
    if (!text)
        return std::nullopt;
    return common::wholeNumber<long>(text);
}

}

common::Expected<std::vector<int>> takeInheritedSockets()
{
    const char *fdsText = std::getenv("LISTEN_FDS");
    const auto pid = number(std::getenv("LISTEN_PID"));
    const auto count = number(fdsText);
    ::unsetenv("LISTEN_PID");
    ::unsetenv("LISTEN_FDS");
    ::unsetenv("LISTEN_FDNAMES");
    if (!fdsText || !pid || *pid != static_cast<long>(::getpid()))
        return std::vector<int>{};
    if (!count || *count < 0 || *count > 1024)
        return common::Fault{"LISTEN_FDS is not a count of sockets: '" + std::string(fdsText) + "'"};

    std::vector<int> fds;
    for (int fd = FirstFd; fd < FirstFd + static_cast<int>(*count); ++fd) {
        int type = 0;
        int listening = 0;
        socklen_t length = sizeof type;
        socklen_t listeningLength = sizeof listening;
        if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0
            || ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &listeningLength) != 0)
            return common::Fault{"descriptor " + std::to_string(fd) + " handed over by systemd is not a socket: "
                                 + std::strerror(errno)};
        if (type != SOCK_STREAM || !listening)
            return common::Fault{"descriptor " + std::to_string(fd) + " handed over by systemd is not a listening stream socket"};
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        fds.push_back(fd);
    }
    return fds;
}

}
