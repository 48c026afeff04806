#pragma once

#include "config/deployment.h"

#include <QPointer>
#include <QString>

#include <memory>

class Form2;
class Form3;
class frmAbout;
class frmmain;
class ShellLaunch;
class Sound;

// Hands out the one live instance of each window, creating it afresh from
// its description (and running its load step) when it does not exist: never
// opened, or closed since. Showing an open window only shows it again.
// Windows are shown modeless and without an owner.
class WindowRegistry final
{
    Q_DISABLE_COPY_MOVE(WindowRegistry)
public:
    // executableFolder: where the favourites file and the save sound lie.
    WindowRegistry(Deployment deployment, QString executableFolder);
    ~WindowRegistry();

    const Deployment &deployment() const { return m_deployment; }
    const QString &executableFolder() const { return m_executableFolder; }

    ShellLaunch &shellLaunch() { return *m_shellLaunch; }
    void setShellLaunch(std::unique_ptr<ShellLaunch> launch);

    // Made on first use: nothing at start needs it.
    Sound &sound();
    void setSound(std::unique_ptr<Sound> sound);

    frmmain *showMain();
    frmAbout *showAbout();
    Form2 *showFavourites();
    Form3 *showConfirmation();

    // The live windows, or null.
    frmmain *mainWindow() const;
    frmAbout *aboutWindow() const;
    Form2 *favouritesWindow() const;
    Form3 *confirmationWindow() const;

private:
    Deployment m_deployment;
    QString m_executableFolder;
    std::unique_ptr<ShellLaunch> m_shellLaunch;
    std::unique_ptr<Sound> m_sound;
    QPointer<frmmain> m_main;
    QPointer<frmAbout> m_about;
    QPointer<Form2> m_favourites;
    QPointer<Form3> m_confirmation;
};
