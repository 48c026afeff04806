#include "core/helptext.h"

#include "core/deployment.h"

namespace HelpText {

QString fill(const QString &helpTemplate, const Deployment &deployment)
{
    QString text = helpTemplate;
    text.replace(QStringLiteral("@FAVORITES_QUERY_HOST@"), deployment.favoritesQueryHost);
    text.replace(QStringLiteral("@SITE_HOST@"), deployment.siteHost);
    return text;
}

}
