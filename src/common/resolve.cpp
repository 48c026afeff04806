#include "common/resolve.h"

#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <memory>

namespace common {

namespace {

struct Lookup {
    Lookup(boost::asio::io_context &io, std::string host, std::function<void(ResolvedAddresses)> done)
        : resolver(io), timer(io), host(std::move(host)), done(std::move(done))
    {
    }

    // The first of the answer and the deadline decides.
    void finish(ResolvedAddresses result)
    {
        if (!done)
            return;
        timer.cancel();
        resolver.cancel();
        std::exchange(done, nullptr)(std::move(result));
    }

    boost::asio::ip::udp::resolver resolver;
    boost::asio::steady_timer timer;
    std::string host;
    std::function<void(ResolvedAddresses)> done;
};

}

void resolveName(boost::asio::io_context &io, const std::string &host, std::chrono::steady_clock::time_point deadline,
                 std::function<void(ResolvedAddresses)> done)
{
    auto lookup = std::make_shared<Lookup>(io, host, std::move(done));
    lookup->timer.expires_at(deadline);
    lookup->timer.async_wait([lookup](const boost::system::error_code &error) {
        if (!error)
            lookup->finish(Fault{"cannot resolve " + lookup->host + ": no answer in time"});
    });
    lookup->resolver.async_resolve(host, "", [lookup](const boost::system::error_code &error,
                                                      boost::asio::ip::udp::resolver::results_type results) {
        if (error || results.empty())
            return lookup->finish(Fault{"cannot resolve " + lookup->host + ": " + (error ? error.message() : "no address")});
        std::vector<boost::asio::ip::address> addresses;
        for (const auto &entry : results)
            addresses.push_back(entry.endpoint().address());
        lookup->finish(std::move(addresses));
    });
}

}
