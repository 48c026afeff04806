#pragma once

#include "queryd/admission.h"
#include "queryd/clock.h"
#include "queryd/options.h"
#include "queryd/requestlog.h"
#include "queryd/service.h"
#include "queryd/session.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <functional>
#include <list>
#include <map>
#include <memory>
#include <vector>

namespace queryd {

// Accepts connections on listening sockets and gives each a Session; what
// the admission policy lets through goes to the service, and every answer
// to the log and the metrics. Ends the service when the policy finds it
// idle.
class Listener final : public SessionHost, public std::enable_shared_from_this<Listener> {
public:
    using Clock = std::chrono::steady_clock;

    Listener(boost::asio::io_context &io, const ServiceOptions &options, std::shared_ptr<Service> service,
             std::list<boost::asio::ip::tcp::acceptor> acceptors, SteadyNow now = {});
    Listener(const Listener &) = delete;
    Listener &operator=(const Listener &) = delete;

    void start();
    std::vector<boost::asio::ip::tcp::endpoint> endpoints() const;
    // Called once when options.idleExit has passed without a request.
    void onIdle(std::function<void()> idle);
    // Stops accepting and closes every connection.
    void stop();

private:
    const ServiceOptions &options() const override { return m_options; }
    Clock::time_point now() const override { return m_admission.now(); }
    bool stopping() const override { return m_stopped; }
    void serve(ConnectionId connection, std::string_view target, const boost::asio::ip::address &client,
               Clock::time_point started, Reply reply) override;
    void answered(const AnsweredRequest &request) override;
    void closed(ConnectionId connection) override;

    void accept(boost::asio::ip::tcp::acceptor &acceptor);
    void admit(boost::asio::ip::tcp::socket socket);
    void armIdleTimer();
    void armSweepTimer();

    boost::asio::io_context &m_io;
    ServiceOptions m_options;
    std::shared_ptr<Service> m_service;
    std::list<boost::asio::ip::tcp::acceptor> m_acceptors;
    Admission m_admission;
    std::map<ConnectionId, std::weak_ptr<Session>> m_sessions;
    boost::asio::steady_timer m_idleTimer;
    boost::asio::steady_timer m_sweepTimer;
    std::function<void()> m_idle;
    RequestLog m_log;
    bool m_stopped = false;
};

}
