// libFuzzer target for the UT3 reply parser, and for the server list reader
// on the same bytes. Build with clang:
//   cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DSKIRVANE_FUZZ=ON
//   cmake --build build/fuzz --target fuzz_ut3reply
//   mkdir -p found-ut3 && build/fuzz/bin/fuzz_ut3reply found-ut3 tests/fuzz/corpus-ut3
// The input is a series of datagrams, each a flag byte, a 16-bit
// little-endian length and that many bytes. With flag bit 0 clear the bytes
// get a status header for the session first (they start with the index and
// section bytes), so that the fuzzer spends its time in the payloads; with
// it set they are sent as they are. An input that once broke the parser
// belongs in tests/fuzz/corpus-ut3.
#include "ut3/interpret.h"
#include "ut3/packets.h"
#include "ut3/reply.h"
#include "ut3/serverlist.h"
#include "ut3/text.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

namespace {

constexpr ut3::SessionId session = 0x01020304;

// What every string that leaves the parser must be: bounded, no control
// characters (every byte below 0x20 and DEL; C1 controls are two bytes
// starting 0xC2 0x80-0x9F).
void checkClean(const std::string &text)
{
    if (text.size() > ut3::maxServerStringBytes)
        std::abort();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F)
            std::abort();
        if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9F)
            std::abort();
    }
}

// What the list gives is printable ASCII, its faults included (they quote
// the line and go to a terminal), and within its bounds.
void checkList(const uint8_t *data, size_t size)
{
    const auto printable = [](const std::string &text) {
        for (const char c : text)
            if (c < 0x20 || c > 0x7E)
                std::abort();
    };
    std::istringstream in(std::string(reinterpret_cast<const char *>(data), size));
    ut3::ServerListReader reader(in, "list");
    std::size_t servers = 0, line = 0;
    while (true) {
        const auto server = reader.next();
        if (!server)
            return printable(server.fault().message);
        if (!*server)
            return;
        const ut3::ListedServer &listed = **server;
        if (listed.target.host.empty() || listed.target.port == 0 || listed.line <= line || ++servers > ut3::maxListedServers)
            std::abort();
        line = listed.line;
        printable(listed.target.host);
    }
}

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ut3::ReplyAssembler assembler(session);
    std::size_t pos = 0;
    while (pos + 3 <= size) {
        const std::uint8_t flags = data[pos];
        const std::size_t length = std::min<std::size_t>(data[pos + 1] | data[pos + 2] << 8, size - pos - 3);
        const ut3::ByteView bytes(data + pos + 3, length);
        pos += 3 + length;
        (void)ut3::parseChallengeReply(bytes, session); // only that it neither crashes nor reads beyond the bytes
        if (flags & 1) {
            assembler.add(bytes);
            continue;
        }
        ut3::Bytes datagram = {0x00, 0x01, 0x02, 0x03, 0x04};
        const std::string_view splitnum("splitnum\0", 9);
        datagram.insert(datagram.end(), splitnum.begin(), splitnum.end());
        datagram.insert(datagram.end(), bytes.begin(), bytes.end());
        assembler.add(datagram);
    }
    assembler.missing();
    const ut3::ServerStatus status = ut3::interpret(assembler.raw(), assembler.complete());
    if (status.players.size() > ut3::ReplyAssembler::maxRows || status.teams.size() > ut3::ReplyAssembler::maxRows)
        std::abort();
    checkClean(status.server.name);
    checkClean(status.server.map);
    for (const auto &[key, value] : status.server.rules) {
        checkClean(key);
        checkClean(value);
    }
    for (const auto &mutator : status.server.mutators)
        checkClean(mutator);
    for (const auto &player : status.players)
        checkClean(player.name);
    for (const auto &team : status.teams)
        checkClean(team.name);
    checkClean(ut3::decodeServerString(std::string_view(reinterpret_cast<const char *>(data), size)));
    checkList(data, size);
    return 0;
}
