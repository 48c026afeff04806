#include "app/watching.h"

#include "favourites/favouritesfile.h"
#include "platform/tray.h"
#include "platform/warning.h"
#include "windows/alertsdialog.h"
#include "windows/form.h"
#include "windows/livenotices.h"
#include "windows/livetray.h"

#include <QApplication>
#include <QShortcut>

Watching::Watching(const QString &favoritesQueryHost, QString favouritesPath, QString settingsPath)
    : m_settingsPath(std::move(settingsPath))
    , m_watch(favoritesQueryHost,
              [path = std::move(favouritesPath)] {
                  // A file that cannot be read names no favourites; its window says why.
                  const common::Expected<QStringList> file = FavouritesFile::load(path);
                  return file ? LiveWatch::favouritesFrom(*file) : QList<WatchedFavourite>();
              })
    , m_notices(std::make_unique<LiveNotices>(m_watch.model(), m_notifications))
{
    connect(m_notices.get(), &LiveNotices::serverChosen, this, &Watching::queryRequested);
    if (Tray::available()) {
        m_tray = std::make_unique<Tray>(QIcon(QString::fromLatin1(WindowIcon)));
        m_liveTray = std::make_unique<LiveTray>(m_watch.model(), *m_tray);
        connect(m_liveTray.get(), &LiveTray::serverChosen, this, &Watching::queryRequested);
        connect(m_tray.get(), &Tray::showRequested, this, &Watching::showRequested);
        connect(m_tray.get(), &Tray::alertsRequested, this, &Watching::showAlerts);
        connect(m_tray.get(), &Tray::quitRequested, this, [] {
            QApplication::closeAllWindows();
            QApplication::quit();
        });
        connect(m_tray.get(), &Tray::messageClicked, m_notices.get(), &LiveNotices::activate);
    }
    // Without a notification service, the tray's balloon stands in.
    connect(&m_notifications, &Notifications::unavailable, this,
            [this](const QString &summary, const QString &body, int key) {
                if (m_tray)
                    m_tray->showMessage(summary, body, key);
            });

    if (const common::Expected<LiveSettings::Loaded> loaded = LiveSettings::load(m_settingsPath)) {
        m_settings = loaded->settings;
        for (const common::Fault &ignored : loaded->ignored)
            qWarning("Skirvane: %s: %s; its default is used.", qPrintable(m_settingsPath), ignored.message.c_str());
    } else {
        qWarning("Skirvane: %s; the defaults are used.", loaded.fault().message.c_str());
    }
    m_watch.setSettings(m_settings);
}

Watching::~Watching()
{
    delete m_alerts;
}

AlertsDialog *Watching::showAlerts()
{
    if (!m_alerts) {
        m_alerts = new AlertsDialog(m_settings);
        m_alerts->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_alerts, &AlertsDialog::chosen, this, &Watching::keep);
    }
    m_alerts->show();
    m_alerts->raise();
    m_alerts->activateWindow();
    return m_alerts;
}

void Watching::keep(const LiveSettings &settings)
{
    if (const common::Expected<common::Done> saved = settings.save(m_settingsPath); !saved.ok()) {
        showWarning(m_alerts, QStringLiteral("saveFailure"), QStringLiteral("The alerts could not be saved."),
                    QString::fromStdString(saved.fault().message));
        return;
    }
    m_settings = settings;
    m_watch.setSettings(m_settings);
    m_alerts->accept();
}

void Watching::addAlertsKey(QWidget *window)
{
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), window), &QShortcut::activated, this,
            &Watching::showAlerts);
}
