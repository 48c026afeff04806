#pragma once

#include "../history/tempfolder.h"
#include "queryprocess.h"

#include <boost/asio/ip/tcp.hpp>

#include <csignal>
#include <cstdint>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

// A loopback port nothing listens on at the moment it is asked for.
inline std::uint16_t freePort()
{
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor acceptor(io, {boost::asio::ip::make_address("127.0.0.1"), 0});
    return acceptor.local_endpoint().port();
}

// The real nginx in the foreground, configured by the example the package
// ships: its upstream's instances (127.0.0.1:8651, :8652 …) pointed at the
// given ports in turn and its server on a free loopback port. Everything it
// writes is in a folder of its own.
class Balancer final {
public:
    Balancer(const std::string &example, const std::vector<std::uint16_t> &instances, const char *nginx)
        : m_port(freePort())
    {
        std::string site = fileBytes(example);
        for (std::size_t i = 0; i < instances.size(); ++i)
            site = std::regex_replace(site, std::regex("127\\.0\\.0\\.1:865" + std::to_string(i + 1)),
                                      "127.0.0.1:" + std::to_string(instances[i]));
        site = std::regex_replace(site, std::regex("listen 80;"), "listen 127.0.0.1:" + std::to_string(m_port) + ";");
        std::ofstream(m_folder.path() / "site.conf") << site;
        const std::string folder = m_folder.path().string();
        std::ofstream(m_folder.path() / "nginx.conf")
            << "daemon off;\nworker_processes 1;\npid " << folder << "/nginx.pid;\nevents { worker_connections 64; }\n"
            << "http {\n  access_log off;\n  client_body_temp_path " << folder << "/body;\n  proxy_temp_path " << folder
            << "/proxy;\n  fastcgi_temp_path " << folder << "/fastcgi;\n  uwsgi_temp_path " << folder
            << "/uwsgi;\n  scgi_temp_path " << folder << "/scgi;\n  include " << folder << "/site.conf;\n}\n";
        m_nginx = std::make_unique<Process>(
            std::vector<std::string>{"-p", folder, "-c", folder + "/nginx.conf", "-e", folder + "/error.log"}, -1, nginx);
    }
    Balancer(const Balancer &) = delete;
    Balancer &operator=(const Balancer &) = delete;
    ~Balancer()
    {
        m_nginx->signal(SIGQUIT);
        m_nginx->waitForExit(std::chrono::seconds(5));
    }

    std::uint16_t port() const { return m_port; }
    bool exited() { return m_nginx->waitForExit(std::chrono::seconds(0)).has_value(); }
    std::string log() const { return m_nginx->log() + fileBytes(m_folder.path() / "error.log"); }

private:
    TempFolder m_folder;
    std::uint16_t m_port;
    std::unique_ptr<Process> m_nginx;
};
