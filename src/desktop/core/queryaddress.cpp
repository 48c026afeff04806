#include "core/queryaddress.h"

namespace QueryAddress {

QString mainQueryBase(const QString &mainQueryHost)
{
    return QStringLiteral("http://") + mainQueryHost + QStringLiteral("/Zyr/Skirvane/skirvane.php?serverip=");
}

QString favoritesQueryBase(const QString &favoritesQueryHost)
{
    return QStringLiteral("http://") + favoritesQueryHost + QStringLiteral("/Skirvane/skirvane.php?serverip=");
}

QString mainStartPage(const QString &mainQueryHost)
{
    return QStringLiteral("http://") + mainQueryHost + QStringLiteral("/Zyr/04query.html");
}

QString compose(const QString &base, const ServerValues &values)
{
    return base + values.address + QStringLiteral("&serverqport=") + values.queryPort
        + QStringLiteral("&serverwport=") + values.webPort;
}

}
