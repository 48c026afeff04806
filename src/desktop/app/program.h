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

    // The favourites file's path.
    QString favouritesPath() const;

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
};
