#include "platform/urlopener.h"

#include <QProcess>

#include <windows.h>

common::Expected<common::Done> UrlOpener::open(const QString &address)
{
    // The system program with the address as its single, quoted argument,
    // exactly one blank between them; its window shown minimized (style 2).
    QProcess process;
    process.setProgram(QStringLiteral("explorer.exe"));
    process.setNativeArguments(QLatin1Char('"') + address + QLatin1Char('"'));
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *arguments) {
        arguments->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        arguments->startupInfo->wShowWindow = SW_SHOWMINIMIZED;
    });
    if (!process.startDetached())
        return common::Fault{QStringLiteral("Cannot open %1: explorer.exe could not be started (%2).")
                                 .arg(address, process.errorString())
                                 .toStdString()};
    return common::Done{};
}
