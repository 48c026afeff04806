#pragma once

#include "windows/formwindow.h"

class QPushButton;
class Sound;
class WindowRegistry;

// Confirms a save: placed over the favourites window, plays the save sound
// from beside the executable, closes with "OK".
class Form3 final : public FormWindow
{
    Q_OBJECT
public:
    explicit Form3(WindowRegistry &registry);

    void Form_Load();

    // executable folder + "/wickedsick.wav", joined as they are.
    static QString soundPath(const QString &executableFolder);

    QPushButton *const Command1;

private:
    void Command1_Click();

    WindowRegistry &m_registry;
};
