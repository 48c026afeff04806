#include "windows/mainwindow.h"

#include "core/pageaddress.h"
#include "platform/browser.h"
#include "platform/progressbar.h"
#include "platform/timer.h"
#include "windows/linklabel.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

const Font Bold = Font::boldSansSerif();
const Colour ButtonFace = Colour::buttonFace();

}

MainWindow::MainWindow(const Deployment &deployment, UrlOpener &opener)
    : Form({.name = "frmmain", .caption = "Skirvane v{Zyr}1.1 by: Orlen", .clientWidth = 8790, .clientHeight = 9675,
            .frame = FormLook::Frame::FixedSingle, .centred = true, .backColour = DesignColours::Backdrop})
    , m_deployment(deployment)
    , m_opener(opener)
    , m_queryProgress(add<ProgressBar>({.tab = 0, .name = "pg", .left = 120, .top = 9120, .width = 8535, .height = 135,
                                        .accessibleName = "Query progress"}))
    , m_serverChooser(add<QComboBox>({.tab = 1, .name = "Combo2", .text = "Server IP",
                                      .tooltip = "Select custom to enter in a server ip", .left = 120, .top = 2040,
                                      .width = 1695, .height = 315, .font = Bold, .background = ButtonFace,
                                      .items = {"{Zyr}", "Custom"}, .accessibleName = "Server preset"}))
    , m_addressEdit(add<QLineEdit>({.tab = 3, .name = "Text2", .left = 1800, .top = 2040, .width = 1920, .height = 310,
                                    .font = Bold, .background = ButtonFace, .accessibleName = "Server IP"}))
    , m_aboutLink(add<LinkLabel>({.tab = 4, .name = "Label6", .text = "About / Help", .left = 7560, .top = 9360,
                                  .width = 1215, .height = 255, .font = Bold}))
    , m_beginQueryButton(add<QPushButton>({.tab = 5, .name = "Command1", .text = "Begin Query", .left = 7200,
                                           .top = 2040, .width = 1455, .height = 330, .font = Bold}))
    , m_queryPortEdit(add<QLineEdit>({.tab = 6, .name = "Text3", .text = "Query Port", .tooltip = "Default 6500",
                                      .left = 3960, .top = 2040, .width = 1095, .height = 310, .font = Bold,
                                      .background = ButtonFace, .accessibleName = "Query Port"}))
    , m_favouritesLink(add<LinkLabel>({.tab = 9, .name = "LabelFavs", .text = "Favorite Servers", .left = 120,
                                       .top = 9360, .width = 1695, .height = 255, .font = Bold}))
    , m_browser(add<Browser>({.tab = 10, .name = "WebBrowser1", .left = 120, .top = 2520, .width = 8535, .height = 6495,
                              .accessibleName = "Server status"}))
    , m_webPortEdit(add<QLineEdit>({.tab = 11, .name = "Text1", .text = "Server Web Port",
                                    .tooltip = "Set to 0 if you don't have Tallyboard installed.", .left = 5280,
                                    .top = 2040, .width = 1695, .height = 310, .font = Bold,
                                    .accessibleName = "Server Web Port"}))
    , m_adminLink(add<LinkLabel>({.tab = 12, .name = "lblZyrAdmin", .text = "{Zyr}Admin", .left = 3940, .top = 9360,
                                  .width = 990, .height = 195, .font = Bold}))
    , m_queryTimer(addTimer("Timer1", 100))
    , m_query(QueryAddress::mainQueryBase(deployment.mainQueryHost), deployment.presetServerIp, *m_queryTimer,
              {.boxes = [this] { return ServerValues{m_addressEdit->text(), m_queryPortEdit->text(), m_webPortEdit->text()}; },
               .showBoxes =
                   [this](const ServerValues &values) {
                       m_addressEdit->setText(values.address);
                       m_queryPortEdit->setText(values.queryPort);
                       m_webPortEdit->setText(values.webPort);
                   },
               .showProgress = [this](float value) { m_queryProgress->setValue(value); },
               .navigate = [this](const QString &address) { m_browser->navigate(address); }})
{
    addPicture("Image1", ":/assets/banner-main.jpg",
               {.left = 0, .top = 0, .width = 9000, .height = 2550, .accessibleName = "Skirvane banner"});
    // Beyond the right edge of the client area, so never seen; Command2 and
    // Text5 can still be reached with the Tab key.
    add<LinkLabel>({.tab = 2, .name = "Label2", .text = "Query  Port", .left = 9840, .top = 2760, .width = 1215,
                    .height = 255, .font = {"Microsoft Sans Serif", 9.75, true}});
    add<QPushButton>({.tab = 7, .name = "Command2", .text = "Launch Game",
                      .tooltip = "This will launch the game and connect to the selected server. Set the server port "
                                 "to the server port in query window  to connect.",
                      .left = 10080, .top = 3240, .width = 1695, .height = 330, .font = Bold});
    add<QLineEdit>({.tab = 8, .name = "Text5", .text = "7777", .left = 9960, .top = 2280, .width = 1095, .height = 310,
                    .font = Bold, .background = ButtonFace, .accessibleName = "Game Port"});
    finishTabOrder();

    m_browser->navigate(QueryAddress::mainStartPage(m_deployment.mainQueryHost));

    // activated: a pick from the list by mouse or keyboard, not typing and
    // not changes made by code.
    connect(m_serverChooser, &QComboBox::activated, this, [this](int listIndex) { m_query.pick(listIndex); });
    connect(m_beginQueryButton, &QPushButton::clicked, this, [this] { m_query.begin(); });
    connect(m_queryTimer, &Timer::tick, this, [this] { m_query.tick(); });
    for (LinkLabel *link : {m_favouritesLink, m_aboutLink, m_adminLink})
        link->setCursor(Qt::PointingHandCursor);
    connect(m_favouritesLink, &LinkLabel::clicked, this, &MainWindow::favouritesRequested);
    connect(m_aboutLink, &LinkLabel::clicked, this, &MainWindow::aboutRequested);
    connect(m_browser, &Browser::loadFinished, this, &MainWindow::pageLoaded);
    connect(m_adminLink, &LinkLabel::clicked, this,
            [this] { openPage(m_opener, PageAddress::adminPage(m_deployment.adminHost)); });
}
