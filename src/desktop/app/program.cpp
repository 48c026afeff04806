#include "app/program.h"

#include "app/folders.h"
#include "core/placement.h"
#include "favourites/favouritesfile.h"
#include "platform/screen.h"
#include "platform/sound.h"
#include "platform/urlopener.h"
#include "windows/aboutwindow.h"
#include "windows/favouriteswindow.h"
#include "windows/mainwindow.h"
#include "windows/saveconfirmation.h"


Program::Program(Deployment deployment, QString soundFolder, QString favouritesFolder,
                 std::unique_ptr<UrlOpener> opener, std::unique_ptr<Sound> sound)
    : m_deployment(std::move(deployment))
    , m_soundFolder(std::move(soundFolder))
    , m_favouritesFolder(std::move(favouritesFolder))
    , m_opener(opener ? std::move(opener) : std::make_unique<UrlOpener>())
    , m_sound(std::move(sound))
{
}

Program::~Program()
{
    delete m_confirmation;
    delete m_favourites;
    delete m_about;
    delete m_main;
}

MainWindow *Program::showMain()
{
    // The main window opens exactly as designed, centred.
    if (!m_main) {
        m_main = new MainWindow(m_deployment, *m_opener);
        connect(m_main, &MainWindow::favouritesRequested, this, &Program::showFavourites);
        connect(m_main, &MainWindow::aboutRequested, this, &Program::showAbout);
        emit mainOpened(m_main);
    }
    m_main->show();
    return m_main;
}

AboutWindow *Program::showAbout()
{
    if (!m_about) {
        m_about = new AboutWindow(m_deployment, *m_opener);
        if (m_main)
            m_about->moveToTwips(Placement::aboutByMain(m_main->placementFrame()));
        else
            centreOnScreen(m_about);
    }
    m_about->show();
    return m_about;
}

FavouritesWindow *Program::showFavourites()
{
    if (!m_favourites) {
        m_favourites = new FavouritesWindow(m_deployment, favouritesPath());
        connect(m_favourites, &FavouritesWindow::aboutRequested, this, &Program::showAbout);
        connect(m_favourites, &FavouritesWindow::saved, this, &Program::showConfirmation);
        if (m_main)
            m_favourites->moveToTwips(Placement::favouritesByMain(m_main->placementFrame()));
        m_favourites->load();
        emit favouritesOpened(m_favourites);
    }
    m_favourites->show();
    return m_favourites;
}

SaveConfirmation *Program::showConfirmation()
{
    if (!m_confirmation) {
        m_confirmation = new SaveConfirmation;
        if (m_favourites)
            m_confirmation->moveToTwips(Placement::confirmationByFavourites(m_favourites->placementFrame()));
        // Made on first use: the audio system takes a while to start.
        if (!m_sound)
            m_sound = std::make_unique<Sound>();
        m_sound->play(m_soundFolder + QLatin1Char('/') + QLatin1String(Folders::SaveSoundFile));
    }
    m_confirmation->show();
    return m_confirmation;
}

QString Program::favouritesPath() const
{
    return FavouritesFile::iniPath(m_favouritesFolder);
}

MainWindow *Program::mainWindow() const
{
    return m_main;
}

AboutWindow *Program::aboutWindow() const
{
    return m_about;
}

FavouritesWindow *Program::favouritesWindow() const
{
    return m_favourites;
}

SaveConfirmation *Program::confirmationWindow() const
{
    return m_confirmation;
}
