#pragma once

#include <QtGlobal>

#include <optional>

// Times on the wall clock (CLOCK_REALTIME) in microseconds since the epoch,
// so that a launcher's clock reading and this process's compare directly.
namespace StartClock {

qint64 nowUs();

// When this process was created (fork), from /proc/self/stat. Its
// resolution is one clock tick, usually 10 ms.
std::optional<qint64> processStartUs();

}
