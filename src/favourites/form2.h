#pragma once

#include "windows/formwindow.h"

class Browser;
class LinkLabel;
class ProgressBar;
class QLineEdit;
class QPushButton;
class QRadioButton;
class Timer;
class WindowRegistry;

// The favourites window: six slots of four fields loaded from the favourites
// file, saved back through the save sequence, and queried one at a time
// into the window's own browser through the query sequence.
class Form2 final : public FormWindow
{
    Q_OBJECT
public:
    explicit Form2(WindowRegistry &registry);

    // Places the window by the main window, sets IniPath and reads the file.
    void Form_Load();

    // One value of the favourites file, by the profile-file rules.
    QString GetIni(const QString &section, const QString &key) const;
    // Fills all 24 fields from the file, reading it once.
    void ReadIni();
    // Queries the slot whose option button is selected (empty values when
    // none is) into this window's browser.
    void lookup();
    // Writes the 24 fields to the favourites file and, once written, shows
    // the confirmation. A failed save leaves the old file as it was and the
    // fields as they are, and says why. Returns whether the file was written.
    bool lookup2();

    // The field of a favourites key ("ServerIP4").
    QLineEdit *field(const QString &key) const;

    QString IniPath;

    QRadioButton *serverOpt(int index) const { return m_serverOpt.at(index); }
    QPushButton *const Command1;
    QPushButton *const Command2;
    Timer *const Timer1;
    Timer *const Timer2;
    ProgressBar *const pg;
    ProgressBar *const pg2;
    Browser *const WebBrowser1;
    LinkLabel *const Label4;

private:
    void Command1_Click();
    void Command2_Click();
    void Label4_Click();
    void Timer1_Timer();
    void Timer2_Timer();

    WindowRegistry &m_registry;
    QList<QLineEdit *> m_fields; // in the order of the file's keys
    QList<QRadioButton *> m_serverOpt;
};
