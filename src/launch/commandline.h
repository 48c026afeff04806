#pragma once

#include <QChar>
#include <QLatin1String>
#include <QString>

#include <optional>

// The command lines that open a web page outside the program: the system
// program "explorer.exe" with the address as its single, quoted argument.
namespace CommandLine {

// Exactly one blank after the program name.
inline constexpr QLatin1String ExplorerCommand{"explorer.exe "};
inline constexpr QChar QuoteChar{u'"'};
// Show the started program minimized and activated.
inline constexpr int LaunchWindowStyle = 2;

// "http://<host>:5080/ServerAdmin/settings/general"; the port is always written out.
QString adminPageUrl(const QString &adminHost);
// "http://<host>" and nothing after the host, not even "/".
QString updatePageUrl(const QString &siteHost);

// ExplorerCommand + QuoteChar + address + QuoteChar. The address is taken as
// it is: no escaping, no encoding, no trimming.
QString explorerCommandLine(const QString &address);

// The address between the quotes of a line made by explorerCommandLine(),
// or nothing when the line does not have that form.
std::optional<QString> addressFromCommandLine(const QString &commandLine);

}
