#pragma once

#include <cstdint>
#include <memory>
#include <string>

// The query service and one fake UT3 server on 127.0.0.1, running on a
// thread of their own, for the window tests. Kept free of Qt headers.
class ServiceThread final {
public:
    ServiceThread(const std::string &serverName, int players);
    ~ServiceThread();
    ServiceThread(const ServiceThread &) = delete;
    ServiceThread &operator=(const ServiceThread &) = delete;

    std::uint16_t httpPort() const;
    std::uint16_t gamePort() const;
    // Status requests the service has answered is not known here; the fake
    // server's count of received datagrams shows a query happened.
    int gameRequestsSeen() const;

private:
    struct Parts;
    std::unique_ptr<Parts> m_parts;
};
