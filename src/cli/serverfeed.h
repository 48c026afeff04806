#pragma once

#include "options.h"

#include "common/expected.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace cli {

// Hands on the servers given, in order, on the io_context: those of the
// command line at once, those of lists as they are read. Lists are read on
// a thread of their own, because a pipe may keep a read waiting while
// replies and deadlines are due. Reading stays at most `ahead` servers
// beyond those released, so that an endless list takes bounded memory.
class ServerFeed final {
public:
    ServerFeed(boost::asio::io_context &io, std::vector<Source> sources, std::size_t ahead);
    ~ServerFeed();
    ServerFeed(const ServerFeed &) = delete;
    ServerFeed &operator=(const ServerFeed &) = delete;

    // `next` gets each server; `ended` once, after the last, with the fault
    // of a list that could not be read on. The io_context runs until then.
    void start(std::function<void(ut3::QueryTarget)> next, std::function<void(std::optional<common::Fault>)> ended);
    // Servers handed on that are done with: room for as many more.
    void release(std::size_t count);

private:
    struct Shared;

    boost::asio::io_context &m_io;
    std::vector<Source> m_sources;
    // Used on the io_context's thread only.
    std::function<void(ut3::QueryTarget)> m_next;
    std::function<void(std::optional<common::Fault>)> m_ended;
    std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> m_work;
    std::shared_ptr<Shared> m_shared;
    std::thread m_reader;
};

}
