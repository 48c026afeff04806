#include "platform/shelllaunch.h"

#include "launch/commandline.h"

#include <QProcess>
#include <QStandardPaths>

namespace {
const QString Opener = QStringLiteral("xdg-open");
}

std::optional<LaunchFailure> ShellLaunch::start(const QString &commandLine, int windowStyle)
{
    Q_UNUSED(windowStyle);

    const std::optional<QString> address = CommandLine::addressFromCommandLine(commandLine);
    if (!address)
        return LaunchFailure{QStringLiteral("Cannot start \"%1\": it is not an explorer.exe command line.")
                                     .arg(commandLine)};

    const QString program = QStandardPaths::findExecutable(Opener);
    if (program.isEmpty())
        return LaunchFailure{QStringLiteral("Cannot open %1: %2 was not found on PATH.").arg(*address, Opener)};

    QProcess process;
    process.setProgram(program);
    process.setArguments({*address});
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        return LaunchFailure{
            QStringLiteral("Cannot open %1: %2 could not be started (%3).").arg(*address, program, process.errorString())};
    return std::nullopt;
}
