#include "app/watching.h"

#include "app/program.h"
#include "favourites/favouritesfile.h"
#include "platform/tray.h"
#include "platform/warning.h"
#include "windows/alertsdialog.h"
#include "windows/favouriteswindow.h"
#include "windows/form.h"
#include "windows/mainwindow.h"

#include <QApplication>
#include <QShortcut>

namespace {

// Enough names to recognise; a full server's list would not fit a notification.
constexpr int NamesShown = 12;
// Notifications that can still be activated.
constexpr int NotifiedKept = 100;

QString favouriteName(const LiveAlert &alert)
{
    const QString own = alert.favourite.name.trimmed();
    if (!own.isEmpty())
        return own;
    const QString server = alert.state.serverName.trimmed();
    return server.isEmpty() ? alert.favourite.server.address : server;
}

}

Watching::Watching(Program &program, QString favouritesPath, QString settingsPath)
    : m_program(program)
    , m_settingsPath(std::move(settingsPath))
    , m_watch(program.deployment().favoritesQueryHost,
              [path = std::move(favouritesPath)] {
                  // A file that cannot be read names no favourites; its window says why.
                  const common::Expected<QStringList> file = FavouritesFile::load(path);
                  return file ? LiveWatch::favouritesFrom(*file) : QList<WatchedFavourite>();
              })
{
    if (Tray::available()) {
        m_tray = std::make_unique<Tray>(QIcon(QString::fromLatin1(WindowIcon)));
        connect(m_tray.get(), &Tray::showRequested, this, [this] {
            MainWindow *main = m_program.showMain();
            main->raise();
            main->activateWindow();
        });
        connect(m_tray.get(), &Tray::alertsRequested, this, &Watching::showAlerts);
        connect(m_tray.get(), &Tray::quitRequested, this, [] {
            QApplication::closeAllWindows();
            QApplication::quit();
        });
        connect(m_tray.get(), &Tray::entryChosen, this, [this](int index) {
            const auto described = m_watch.described();
            if (index >= 0 && index < described.size())
                query(described[index].first.server);
        });
        connect(m_tray.get(), &Tray::messageClicked, this, [this](int key) {
            if (m_notified.contains(key))
                query(m_notified.value(key));
        });
    }
    connect(&m_notifications, &Notifications::activated, this, [this](int key) {
        if (m_notified.contains(key))
            query(m_notified.value(key));
    });
    connect(&m_notifications, &Notifications::unavailable, this,
            [this](const QString &summary, const QString &body, int key) {
                if (m_tray)
                    m_tray->showMessage(summary, body, key);
            });
    connect(&m_watch, &LiveWatch::statesChanged, this, &Watching::showStates);
    connect(&m_watch, &LiveWatch::alerted, this, &Watching::notify);
    connect(&m_program, &Program::favouritesOpened, this, &Watching::showStates);
    // Without a tray, the dialog is one key away in the main window.
    if (!m_tray) {
        if (MainWindow *main = m_program.mainWindow())
            addAlertsKey(main);
        connect(&m_program, &Program::mainOpened, this, &Watching::addAlertsKey);
    }

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

void Watching::addAlertsKey(MainWindow *main)
{
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), main), &QShortcut::activated, this,
            &Watching::showAlerts);
}

void Watching::query(const ServerValues &server)
{
    MainWindow *main = m_program.showMain();
    main->raise();
    main->activateWindow();
    main->beginQuery(server);
}

void Watching::showStates()
{
    const auto described = m_watch.described();
    QStringList lines;
    QStringList bySlot(FavouritesFile::SlotCount);
    for (const auto &[favourite, line] : described) {
        lines.append(line);
        bySlot[favourite.slot] = line;
    }
    if (m_tray)
        m_tray->setEntries(lines);
    if (FavouritesWindow *favourites = m_program.favouritesWindow())
        favourites->setLiveStates(bySlot);
}

void Watching::notify(const LiveAlert &alert)
{
    const QString name = favouriteName(alert);
    const QString summary = alert.kind == LiveAlert::Kind::filled
        ? QStringLiteral("%1 has %2 players").arg(name).arg(alert.state.players)
        : QStringLiteral("%1 is on %2").arg(alert.playerName, name);
    QString body = FavouritesWatch::describe(alert.favourite, alert.state);
    if (!alert.state.playerNames.isEmpty()) {
        body += QStringLiteral("\nPlayers: ") + alert.state.playerNames.mid(0, NamesShown).join(QStringLiteral(", "));
        if (alert.state.playerNames.size() > NamesShown)
            body += QStringLiteral(" …");
    }
    const int key = m_nextKey++;
    m_notified.insert(key, alert.favourite.server);
    m_notified.remove(key - NotifiedKept);
    m_notifications.show(summary, body, key);
}
