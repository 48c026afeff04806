#pragma once

#include <QString>

#include <optional>

// Why a command line could not be started: the address and the reason.
struct LaunchFailure
{
    QString message;
};

// The shell launch: starts the program a command line names and returns at
// once, without waiting for it or looking at its outcome.
//
// Only the command lines of CommandLine::explorerCommandLine() are understood.
// On Linux the address goes, as the one argument, to the desktop's opener
// "xdg-open" found on PATH; the window style has no meaning there.
//
// Not final: tests put a recording launch in its place.
class ShellLaunch
{
public:
    ShellLaunch() = default;
    virtual ~ShellLaunch() = default;
    Q_DISABLE_COPY_MOVE(ShellLaunch)

    // Nothing when the program was started.
    [[nodiscard]] virtual std::optional<LaunchFailure> start(const QString &commandLine, int windowStyle);
};
