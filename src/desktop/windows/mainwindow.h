#pragma once

#include "core/deployment.h"
#include "core/serverquery.h"
#include "windows/form.h"

// The main window: names a server by three values, queries it into its own
// browser, and links to the other windows and to the web-admin page.
class MainWindow final : public Form
{
    Q_OBJECT
public:
    MainWindow(const Deployment &deployment, UrlOpener &opener);

    // Puts the server's values in the three boxes and starts Begin Query's
    // sequence, as if the user had typed them and clicked.
    void beginQuery(const ServerValues &server) { m_query.begin(server); }

signals:
    void favouritesRequested();
    void aboutRequested();
    // The browser finished loading a page, the start page first.
    void pageLoaded();

private:
    const Deployment m_deployment;
    UrlOpener &m_opener;
    ProgressBar *const m_queryProgress;
    QComboBox *const m_serverChooser;
    QLineEdit *const m_addressEdit;
    LinkLabel *const m_aboutLink;
    QPushButton *const m_beginQueryButton;
    QLineEdit *const m_queryPortEdit;
    LinkLabel *const m_favouritesLink;
    Browser *const m_browser;
    QLineEdit *const m_webPortEdit;
    LinkLabel *const m_adminLink;
    Timer *const m_queryTimer;
    ServerQuery m_query;
};
