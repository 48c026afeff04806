#pragma once

#include "core/deployment.h"
#include "platform/sound.h"
#include "platform/urlopener.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class AboutWindow;
class FavouritesWindow;
class MainWindow;
class SaveConfirmation;
class Watching;

// The composition root: makes the services and the windows and connects
// them. Each window has one live instance at most, made afresh (and placed)
// when it does not exist: never opened, or closed since; showing an open
// window only shows it again. Windows are shown modeless and without an owner.
class Program final : public QObject
{
    Q_OBJECT
public:
    // soundFolder: where the save sound lies; favouritesFolder: where
    // the favourites file does. Without an opener, pages go to the desktop's
    // browser; without a sound, the system's is made when first needed.
    Program(Deployment deployment, QString soundFolder, QString favouritesFolder,
            std::unique_ptr<UrlOpener> opener = {}, std::unique_ptr<Sound> sound = {});
    ~Program() override;
    Q_DISABLE_COPY_MOVE(Program)

    const Deployment &deployment() const { return m_deployment; }

    // Watches the favourites with the settings in that file, from now on.
    Watching *startWatching(const QString &settingsPath);
    // The same once the main window's start page has loaded or failed to,
    // or StartPageWaitMs after the call at the latest: watching talks to the
    // desktop's bus and asks the service about every favourite, and the
    // start page comes first. Call after showMain().
    void startWatchingAfterStartPage(const QString &settingsPath);
    static constexpr int StartPageWaitMs = 5000;
    // Null until watching starts.
    Watching *watching() const { return m_watching.get(); }

    MainWindow *showMain();
    AboutWindow *showAbout();
    FavouritesWindow *showFavourites();
    SaveConfirmation *showConfirmation();

    // The live windows, or null.
    MainWindow *mainWindow() const;
    AboutWindow *aboutWindow() const;
    FavouritesWindow *favouritesWindow() const;
    SaveConfirmation *confirmationWindow() const;

signals:
    // A window was made.
    void mainOpened(MainWindow *window);
    void favouritesOpened(FavouritesWindow *window);

private:
    const Deployment m_deployment;
    const QString m_soundFolder;
    const QString m_favouritesFolder;
    std::unique_ptr<UrlOpener> m_opener;
    std::unique_ptr<Sound> m_sound;
    QPointer<MainWindow> m_main;
    QPointer<AboutWindow> m_about;
    QPointer<FavouritesWindow> m_favourites;
    QPointer<SaveConfirmation> m_confirmation;
    std::unique_ptr<Watching> m_watching;
};
