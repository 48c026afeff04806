#include "windows/windowregistry.h"

#include "favourites/form2.h"
#include "favourites/form3.h"
#include "platform/shelllaunch.h"
#include "platform/sound.h"
#include "windows/frmabout.h"
#include "windows/frmmain.h"

namespace {

// Creates the window when it does not exist and runs its load step, then
// shows it.
template<class Window>
Window *showOne(QPointer<Window> &slot, WindowRegistry &registry)
{
    if (!slot) {
        slot = new Window(registry);
        slot->Form_Load();
    }
    slot->show();
    return slot;
}

}

WindowRegistry::WindowRegistry(Deployment deployment, QString executableFolder)
    : m_deployment(std::move(deployment))
    , m_executableFolder(std::move(executableFolder))
    , m_shellLaunch(std::make_unique<ShellLaunch>())
{
}

WindowRegistry::~WindowRegistry()
{
    delete m_confirmation;
    delete m_favourites;
    delete m_about;
    delete m_main;
}

void WindowRegistry::setShellLaunch(std::unique_ptr<ShellLaunch> launch)
{
    m_shellLaunch = std::move(launch);
}

Sound &WindowRegistry::sound()
{
    if (!m_sound)
        m_sound = std::make_unique<Sound>();
    return *m_sound;
}

void WindowRegistry::setSound(std::unique_ptr<Sound> sound)
{
    m_sound = std::move(sound);
}

frmmain *WindowRegistry::showMain()
{
    // The main window has no load step: it opens exactly as designed.
    if (!m_main)
        m_main = new frmmain(*this);
    m_main->show();
    return m_main;
}

frmAbout *WindowRegistry::showAbout()
{
    return showOne(m_about, *this);
}

Form2 *WindowRegistry::showFavourites()
{
    return showOne(m_favourites, *this);
}

Form3 *WindowRegistry::showConfirmation()
{
    return showOne(m_confirmation, *this);
}

frmmain *WindowRegistry::mainWindow() const
{
    return m_main;
}

frmAbout *WindowRegistry::aboutWindow() const
{
    return m_about;
}

Form2 *WindowRegistry::favouritesWindow() const
{
    return m_favourites;
}

Form3 *WindowRegistry::confirmationWindow() const
{
    return m_confirmation;
}
