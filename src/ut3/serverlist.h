#pragma once

#include "ut3/result.h"

#include "common/expected.h"

#include <cstddef>
#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace ut3 {

// A list is read as it comes, so that querying starts before it ends;
// these bound what an endless or binary input can take before it ends in a
// fault of its own.
inline constexpr std::size_t maxListedServers = 100'000;
inline constexpr std::size_t maxListLineBytes = 1024;

// One server of a list.
struct ListedServer {
    QueryTarget target;
    std::uint16_t webPort = 0; // the server's web admin port; 0 when the line gives none
    std::size_t line = 0;      // where the list names it, from 1
};

// Reads a server list one server at a time: "HOST[:PORT]" a line, the port
// the query port (6500 when left out), optionally followed by blanks and a
// web port ("203.0.113.9:6500 8080"); blank lines and lines starting with
// "#" are skipped. A fault names the list and the line: "NAME:LINE: what is
// wrong".
class ServerListReader final {
public:
    // Reads from `in`, which must outlive the reader; `name` is how faults
    // name the list (its path, say).
    ServerListReader(std::istream &in, std::string name);
    ServerListReader(const ServerListReader &) = delete;
    ServerListReader &operator=(const ServerListReader &) = delete;

    // The next server, nothing once the list has ended, or why it cannot be
    // read on; after a fault, the same fault again.
    common::Expected<std::optional<ListedServer>> next();

private:
    common::Expected<std::optional<ListedServer>> fail(std::string what);

    std::istream &m_in;
    std::string m_name;
    std::size_t m_line = 0, m_servers = 0;
    std::optional<common::Fault> m_fault;
};

// Every server of the list in a file, or the first fault. Only a regular
// file is read: a FIFO or a device could block or never end.
common::Expected<std::vector<ListedServer>> readServerList(const std::string &path);

}
