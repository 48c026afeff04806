#include "ut3/udpport_platform.h"

#include <sys/socket.h>

namespace ut3::platform {

void tuneSocket(int socket, bool, std::size_t receiveBufferBytes)
{
    const int size = int(receiveBufferBytes);
    setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

void readErrorReports(int, const std::function<void(const boost::asio::ip::udp::endpoint &, int)> &) {}

}
