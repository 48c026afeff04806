#pragma once

#include <cstdint>
#include <memory>
#include <string>

// The query service and one fake UT3 server on 127.0.0.1, running on a
// thread of their own, for the window tests. Kept free of Qt headers.
class ServiceThread final {
public:
    // The service refreshes its pages and renews its results every
    // refreshSeconds.
    ServiceThread(const std::string &serverName, int players, int refreshSeconds = 15);
    ~ServiceThread();
    ServiceThread(const ServiceThread &) = delete;
    ServiceThread &operator=(const ServiceThread &) = delete;

    std::uint16_t httpPort() const;
    std::uint16_t gamePort() const;
    // Datagrams the fake server received: a query happened.
    int gameRequestsSeen() const;
    // The fake server calls itself so from its next answer on.
    void renameServer(const std::string &serverName);

private:
    struct Parts;
    std::unique_ptr<Parts> m_parts;
};
