#pragma once

#include "windows/formwindow.h"

class Browser;
class LinkLabel;
class ProgressBar;
class QComboBox;
class QLineEdit;
class QPushButton;
class Timer;
class WindowRegistry;

// The main window: names a server by three values, queries it into its own
// browser, and links to the other windows and to the web-admin page.
class frmmain final : public FormWindow
{
    Q_OBJECT
public:
    explicit frmmain(WindowRegistry &registry);

    // Composes the query address from the three boxes as they read now and
    // has the browser open it.
    void lookup();

    QComboBox *const Combo2;
    QLineEdit *const Text2;
    QLineEdit *const Text3;
    QLineEdit *const Text1;
    QPushButton *const Command1;
    Timer *const Timer1;
    ProgressBar *const pg;
    Browser *const WebBrowser1;
    LinkLabel *const LabelFavs;
    LinkLabel *const Label6;
    LinkLabel *const lblZyrAdmin;

private:
    void Combo2_Click(int listIndex);
    void Command1_Click();
    void Timer1_Timer();
    void LabelFavs_Click();
    void Label6_Click();
    void lblZyrAdmin_Click();

    WindowRegistry &m_registry;
};
