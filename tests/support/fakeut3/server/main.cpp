// Plays many fake UT3 servers on consecutive ports of 127.0.0.1, for
// benchmarks and trials by hand, until interrupted.
#include "fakeserver.h"

#include <boost/asio/signal_set.hpp>

#include <sys/resource.h>

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

const std::map<std::string_view, fakeut3::Shape> shapes = {
    {"one-packet", fakeut3::Shape::onePacket}, {"out-of-order", fakeut3::Shape::outOfOrder},
    {"duplicated", fakeut3::Shape::duplicated}, {"players-later", fakeut3::Shape::playersLater},
    {"field-continued", fakeut3::Shape::fieldContinued}, {"nul-runs", fakeut3::Shape::nulRuns},
    {"lost-packet", fakeut3::Shape::lostPacket}, {"silent", fakeut3::Shape::silent},
    {"garbage", fakeut3::Shape::garbage}, {"wrong-session-id", fakeut3::Shape::wrongSessionId},
    {"changing-challenge", fakeut3::Shape::changingChallenge}, {"no-challenge", fakeut3::Shape::noChallenge}};

const char *const maps[] = {"DM-Deck", "DM-Sanctuary", "CTF-Coret", "DM-Heatray", "VCTF-Suspense", "WAR-Torlan"};

void usage(std::FILE *to)
{
    std::fprintf(to, "Usage: fake-ut3-server [--count N] [--port FIRST] [--players N] [--shape SHAPE] [--valueless-key]\n"
                     "                       [--threads N]\n"
                     "Plays N fake UT3 servers on 127.0.0.1, ports FIRST to FIRST+N-1 (default 1 server on 16500,\n"
                     "4 players, shape one-packet, 1 thread), until interrupted. --valueless-key sends p268435968\n"
                     "without a value, as real servers do. Shapes:");
    for (const auto &[name, shape] : shapes)
        std::fprintf(to, " %.*s", int(name.size()), name.data());
    std::fprintf(to, "\n");
}

bool number(const char *text, long low, long high, long &out)
{
    const char *end = text + std::strlen(text);
    const auto [next, error] = std::from_chars(text, end, out);
    return error == std::errc() && next == end && out >= low && out <= high;
}

}

int main(int argc, char **argv)
{
    long count = 1, firstPort = 16500, players = 4, threads = 1;
    fakeut3::Shape shape = fakeut3::Shape::onePacket;
    bool valuelessKey = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help") {
            usage(stdout);
            return 0;
        }
        if (arg == "--valueless-key") {
            valuelessKey = true;
            continue;
        }
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = value != nullptr;
        if (arg == "--count")
            ok = ok && number(value, 1, 10000, count);
        else if (arg == "--port")
            ok = ok && number(value, 1, 65535, firstPort);
        else if (arg == "--players")
            ok = ok && number(value, 0, 64, players);
        else if (arg == "--threads")
            ok = ok && number(value, 1, 16, threads);
        else if (arg == "--shape" && ok && shapes.contains(value))
            shape = shapes.at(value);
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, "fake-ut3-server: bad argument \"%s\"%s%s\n", argv[i], value ? " " : "", value ? value : "");
            usage(stderr);
            return 2;
        }
        ++i;
    }
    if (firstPort + count - 1 > 65535) {
        std::fprintf(stderr, "fake-ut3-server: ports %ld to %ld do not all exist\n", firstPort, firstPort + count - 1);
        return 2;
    }
    // One socket per server.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < rlim_t(count + 64)) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, rlim_t(count + 64));
        setrlimit(RLIMIT_NOFILE, &files);
    }

    boost::asio::io_context io;
    std::vector<std::unique_ptr<fakeut3::FakeServer>> servers;
    for (long i = 0; i < count; ++i) {
        fakeut3::Script script = fakeut3::sampleScript("Fake Server " + std::to_string(i + 1), maps[i % std::size(maps)], int(players));
        script.shape = shape;
        if (valuelessKey)
            fakeut3::addValuelessKey(script, 5);
        try {
            servers.push_back(std::make_unique<fakeut3::FakeServer>(io, std::move(script), std::uint16_t(firstPort + i)));
        } catch (const boost::system::system_error &error) {
            std::fprintf(stderr, "fake-ut3-server: cannot listen on 127.0.0.1:%ld: %s\n", firstPort + i, error.code().message().c_str());
            return 1;
        }
    }
    boost::asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const boost::system::error_code &, int) { io.stop(); });
    std::printf("listening on 127.0.0.1:%ld-%ld\n", firstPort, firstPort + count - 1);
    std::fflush(stdout);
    // Each server answers one request at a time, so its handlers never run
    // at once even with several threads.
    std::vector<std::thread> pool;
    for (long i = 1; i < threads; ++i)
        pool.emplace_back([&io] { io.run(); });
    io.run();
    for (auto &thread : pool)
        thread.join();
    return 0;
}
