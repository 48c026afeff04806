#include "platform/urlopener.h"

#include <QProcess>
#include <QStandardPaths>

common::Expected<common::Done> UrlOpener::open(const QString &address)
{
    const QString opener = QStringLiteral("xdg-open");
    const QString program = QStandardPaths::findExecutable(opener);
    if (program.isEmpty())
        return common::Fault{
            QStringLiteral("Cannot open %1: %2 was not found on PATH.").arg(address, opener).toStdString()};

    QProcess process;
    process.setProgram(program);
    process.setArguments({address});
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached())
        return common::Fault{QStringLiteral("Cannot open %1: %2 could not be started (%3).")
                                 .arg(address, program, process.errorString())
                                 .toStdString()};
    return common::Done{};
}
