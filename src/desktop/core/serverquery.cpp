#include "core/serverquery.h"

#include <utility>

ServerQuery::ServerQuery(const QString &queryBase, const QString &presetServerIp, Ticker &clock, View view)
    : m_queryBase(queryBase)
    , m_presetServerIp(presetServerIp)
    , m_view(std::move(view))
    , m_sequence(clock, [this] { m_view.navigate(QueryAddress::compose(m_queryBase, m_view.boxes())); },
                 m_view.showProgress)
{
}

void ServerQuery::pick(int listIndex)
{
    switch (listIndex) {
    case 0:
        m_preset = Preset::BuiltIn;
        m_view.showBoxes({m_presetServerIp, QStringLiteral("6500"), QStringLiteral("0")});
        return;
    case 1:
        m_preset = Preset::Custom;
        m_view.showBoxes({QString(), QStringLiteral("6500"), QStringLiteral("0")});
        return;
    default:
        return;
    }
}

void ServerQuery::begin(const ServerValues &server)
{
    m_view.showBoxes(server);
    begin();
}
