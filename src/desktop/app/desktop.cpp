#include "app/desktop.h"

#include "app/watching.h"
#include "windows/favouriteswindow.h"
#include "windows/mainwindow.h"

#include <QTimer>

Desktop::Desktop(Deployment deployment, QString soundFolder, QString favouritesFolder,
                 std::unique_ptr<UrlOpener> opener, std::unique_ptr<Sound> sound)
    : m_program(std::move(deployment), std::move(soundFolder), std::move(favouritesFolder), std::move(opener),
                std::move(sound))
{
}

Desktop::~Desktop() = default;

Watching *Desktop::startWatching(const QString &settingsPath)
{
    if (m_watching)
        return m_watching.get();
    m_watching = std::make_unique<Watching>(m_program.deployment().favoritesQueryHost, m_program.favouritesPath(),
                                            settingsPath);
    Watching *watching = m_watching.get();
    connect(watching, &Watching::showRequested, this, &Desktop::bringUpMain);
    connect(watching, &Watching::queryRequested, this, [this](const ServerValues &server) {
        bringUpMain();
        m_program.mainWindow()->beginQuery(server);
    });
    const auto observe = [watching](FavouritesWindow *window) { window->observe(watching->model()); };
    if (FavouritesWindow *open = m_program.favouritesWindow())
        observe(open);
    connect(&m_program, &Program::favouritesOpened, watching, observe);
    if (!watching->tray()) {
        if (MainWindow *main = m_program.mainWindow())
            watching->addAlertsKey(main);
        connect(&m_program, &Program::mainOpened, watching, &Watching::addAlertsKey);
    }
    return watching;
}

void Desktop::startWatchingAfterStartPage(const QString &settingsPath)
{
    const auto start = [this, settingsPath] { startWatching(settingsPath); };
    if (MainWindow *main = m_program.mainWindow())
        connect(main, &MainWindow::pageLoaded, this, start, Qt::SingleShotConnection);
    QTimer::singleShot(StartPageWaitMs, this, start);
}

void Desktop::bringUpMain()
{
    MainWindow *main = m_program.showMain();
    main->raise();
    main->activateWindow();
}
