#include "windows/livetray.h"

#include "platform/tray.h"
#include "watch/livemodel.h"

LiveTray::LiveTray(const LiveModel &model, Tray &tray, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_tray(tray)
{
    connect(&m_model, &LiveModel::favouritesChanged, this, &LiveTray::show);
    connect(&m_model, &LiveModel::friendsChanged, this, &LiveTray::show);
    // The menu names the entries as the model held them when it was shown.
    connect(&m_tray, &Tray::entryChosen, this, [this](int index) {
        if (index >= 0 && index < m_model.favourites().size())
            emit serverChosen(m_model.favourites()[index].favourite.server);
    });
    connect(&m_tray, &Tray::friendChosen, this, [this](int index) {
        if (index >= 0 && index < m_model.friends().size())
            emit serverChosen(m_model.friends()[index].server);
    });
    show();
}

void LiveTray::show()
{
    m_tray.setEntries(m_model.favouriteLines(), m_model.friendLines());
}
