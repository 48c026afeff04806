#include "favourites/form3.h"

#include "favourites/form2.h"
#include "platform/sound.h"
#include "windows/placement.h"
#include "windows/windowregistry.h"

#include <QPushButton>

Form3::Form3(WindowRegistry &registry)
    : FormWindow(form3Description())
    , Command1(control<QPushButton>(QStringLiteral("Command1")))
    , m_registry(registry)
{
    connect(Command1, &QPushButton::clicked, this, &Form3::Command1_Click);
}

QString Form3::soundPath(const QString &executableFolder)
{
    return executableFolder + QStringLiteral("/wickedsick.wav");
}

void Form3::Form_Load()
{
    if (const Form2 *favourites = m_registry.favouritesWindow()) {
        const Placement::Position at = Placement::confirmationByFavourites(favourites->placementFrame());
        moveToTwips(at.left, at.top);
    }
    m_registry.sound().play(soundPath(m_registry.executableFolder()));
}

void Form3::Command1_Click()
{
    close();
}
