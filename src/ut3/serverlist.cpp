#include "ut3/serverlist.h"

#include "ut3/target.h"

#include "common/number.h"

#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string_view>

namespace ut3 {

namespace {

constexpr std::string_view blanks = " \t";

std::string_view trimmed(std::string_view line)
{
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos)
        return {};
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

}

ServerListReader::ServerListReader(std::istream &in, std::string name) : m_in(in), m_name(std::move(name)) {}

common::Expected<std::optional<ListedServer>> ServerListReader::fail(std::string what)
{
    m_fault = common::Fault{common::FaultKind::corrupt, m_name + ":" + std::to_string(m_line) + ": " + what};
    return *m_fault;
}

common::Expected<std::optional<ListedServer>> ServerListReader::next()
{
    if (m_fault)
        return *m_fault;
    // Room for the longest line and the terminating NUL getline() adds; a
    // longer line fills it without reaching its end.
    std::array<char, maxListLineBytes + 1> buffer;
    while (true) {
        m_in.getline(buffer.data(), std::streamsize(buffer.size()));
        const auto length = std::size_t(m_in.gcount());
        if (length == 0 && m_in.eof())
            return std::optional<ListedServer>();
        if (m_in.bad()) {
            m_fault = common::Fault{common::FaultKind::cannotOpen, "cannot read " + m_name + ": " + std::strerror(errno)};
            return *m_fault;
        }
        ++m_line;
        if (m_in.fail() && !m_in.eof())
            return fail("the line is longer than " + std::to_string(maxListLineBytes) + " bytes");
        // The newline read counts in gcount(); a last line without one does not.
        const std::string_view line = trimmed({buffer.data(), m_in.eof() ? length : length - 1});
        if (line.empty() || line.starts_with('#'))
            continue;
        // Faults quote the line: no byte that could steer a terminal, C1
        // controls included. Host names are ASCII; comments may be anything.
        for (const char c : line) {
            const auto byte = static_cast<unsigned char>(c);
            if ((byte >= 0x20 && byte < 0x7F) || c == '\t')
                continue;
            char code[8];
            std::snprintf(code, sizeof code, "0x%02X", unsigned(byte));
            return fail(std::string(byte < 0x80 ? "a control character (" : "a byte that is not ASCII (") + code + ")");
        }
        if (m_servers == maxListedServers)
            return fail("more than " + std::to_string(maxListedServers) + " servers");
        const std::size_t blank = line.find_first_of(blanks);
        const auto target = parseTarget(line.substr(0, blank));
        if (!target)
            return fail(target.fault().message);
        ListedServer server{*target, 0, m_line};
        if (blank != std::string_view::npos) {
            const std::string_view rest = line.substr(line.find_first_not_of(blanks, blank));
            if (rest.find_first_of(blanks) != std::string_view::npos)
                return fail("only a web port may follow the server");
            const auto webPort = common::wholeNumber<unsigned>(rest, 1, 65535);
            if (!webPort)
                return fail("the web port \"" + std::string(rest) + "\" must be a number from 1 to 65535");
            server.webPort = std::uint16_t(*webPort);
        }
        ++m_servers;
        return std::optional(std::move(server));
    }
}

common::Expected<std::vector<ListedServer>> readServerList(const std::string &path)
{
    struct stat status;
    if (::stat(path.c_str(), &status) != 0)
        return common::Fault{common::FaultKind::cannotOpen, "cannot read " + path + ": " + std::strerror(errno)};
    if (!S_ISREG(status.st_mode))
        return common::Fault{common::FaultKind::cannotOpen, "cannot read " + path + ": not a regular file"};
    std::ifstream file(path);
    if (!file)
        return common::Fault{common::FaultKind::cannotOpen, "cannot read " + path + ": " + std::strerror(errno)};
    ServerListReader reader(file, path);
    std::vector<ListedServer> servers;
    while (true) {
        auto server = reader.next();
        if (!server)
            return server.fault();
        if (!*server)
            return servers;
        servers.push_back(std::move(**server));
    }
}

}
