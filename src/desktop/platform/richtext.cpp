#include "platform/richtext.h"

QString plainLinesAsRichText(const QStringList &lines)
{
    QStringList escaped;
    for (const QString &line : lines)
        escaped.append(line.toHtmlEscaped());
    return QStringLiteral("<p style='white-space:pre'>") + escaped.join(QLatin1String("<br>")) + QStringLiteral("</p>");
}
