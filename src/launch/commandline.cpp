#include "launch/commandline.h"

namespace CommandLine {

QString adminPageUrl(const QString &adminHost)
{
    return QStringLiteral("http://") + adminHost + QStringLiteral(":5080/ServerAdmin/settings/general");
}

QString updatePageUrl(const QString &siteHost)
{
    return QStringLiteral("http://") + siteHost;
}

QString explorerCommandLine(const QString &address)
{
    return QString(ExplorerCommand) + QuoteChar + address + QuoteChar;
}

std::optional<QString> addressFromCommandLine(const QString &commandLine)
{
    const qsizetype head = ExplorerCommand.size() + 1;
    if (commandLine.size() < head + 1 || !commandLine.startsWith(ExplorerCommand)
        || commandLine.at(head - 1) != QuoteChar || !commandLine.endsWith(QuoteChar))
        return std::nullopt;
    return commandLine.mid(head, commandLine.size() - head - 1);
}

}
