#pragma once

#include "windows/formwindow.h"

class LinkLabel;
class QPlainTextEdit;
class WindowRegistry;

// The about and help window: banner, version line, the help text (editable,
// but nothing keeps what is typed) and the link to the makers' web site.
class frmAbout final : public FormWindow
{
    Q_OBJECT
public:
    explicit frmAbout(WindowRegistry &registry);

    // Places the window by the main window; when the main window has been
    // closed, centred on the screen.
    void Form_Load();

    LinkLabel *const Label8;
    QPlainTextEdit *const Text1;

private:
    void Label8_Click();

    WindowRegistry &m_registry;
};
