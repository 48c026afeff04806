#include "startclock.h"

#include "procfs.h"

#include <QFile>

#include <ctime>

#include <unistd.h>

namespace StartClock {

namespace {

qint64 readClockUs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1'000;
}

}

qint64 nowUs()
{
    return readClockUs(CLOCK_REALTIME);
}

std::optional<qint64> processStartUs()
{
    QFile file(QStringLiteral("/proc/self/stat"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto stat = Procfs::parseStat(file.readAll());
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (!stat || ticksPerSecond <= 0)
        return std::nullopt;
    // The kernel counts the start from boot, suspended time included, as
    // CLOCK_BOOTTIME does; carry it over to the wall clock through "now".
    const qint64 startSinceBootUs = qint64(stat->startTicks) * 1'000'000 / ticksPerSecond;
    const qint64 bootNowUs = readClockUs(CLOCK_BOOTTIME);
    const qint64 wallNowUs = readClockUs(CLOCK_REALTIME);
    return wallNowUs - (bootNowUs - startSinceBootUs);
}

}
