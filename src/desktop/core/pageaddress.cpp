#include "core/pageaddress.h"

namespace PageAddress {

QString adminPage(const QString &adminHost)
{
    return QStringLiteral("http://") + adminHost + QStringLiteral(":5080/ServerAdmin/settings/general");
}

QString updatePage(const QString &siteHost)
{
    return QStringLiteral("http://") + siteHost;
}

}
