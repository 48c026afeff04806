#pragma once

#include "history/sample.h"

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace history {

// When a name seen on a server again continues its session there rather than
// starting a new one: while it reappears within two poll intervals and a
// little slack (a poll round takes a while, and one lost answer is no leave).
// Every backend goes by this one rule.
struct SessionRule
{
    std::chrono::seconds pollInterval{300};

    std::chrono::seconds gap() const { return 2 * pollInterval + std::chrono::seconds(30); }
    // The earliest "last seen" that a name seen at `at` continues.
    Seconds continuesFrom(Seconds at) const { return at - gap(); }
};

// What one answer of a server does to the server's sessions, carried out
// in this order: after a gap, a name may end its session and start anew.
// The names are views of the open names and of the answer's names that the
// plan was made from, valid as long as those are.
struct SessionPlan
{
    // Open sessions that go on: nothing to write.
    std::vector<std::string_view> goOn;
    // Open sessions that end, at `endAt`: the server's answer before this one.
    std::vector<std::string_view> end;
    Seconds endAt;
    // Names whose session goes on from this answer: each goes on with its
    // latest session that ended at `resumeFrom` or later, or starts one.
    std::vector<std::string_view> start;
    // The names of an answer older than the server's latest, which ends and
    // opens nothing, but those without an open session: each stretches its
    // latest session that ended at `resumeFrom` or later to the answer's
    // time, or has one of that moment alone.
    std::vector<std::string_view> late;
    Seconds resumeFrom;

    bool operator==(const SessionPlan &) const = default;
};

// The session rule, without I/O. `latest` is the server's latest answer
// before this one (none before its first), `open` the names whose sessions
// go on in it; `time` and `names` are the answer's, as the server gave them:
// each name is bounded, and an empty one or a repeat (two players, one name)
// makes no session of its own. The names that start or arrive late come in
// byte order, the open ones in the order given.
SessionPlan planSessions(const SessionRule &rule, std::optional<Seconds> latest, std::span<const std::string_view> open,
                         Seconds time, std::span<const std::string> names);

}
