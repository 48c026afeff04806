#include "windows/frmmain.h"

#include "launch/commandline.h"
#include "launch/openinexplorer.h"
#include "platform/browser.h"
#include "platform/progressbar.h"
#include "platform/timer.h"
#include "query/presets.h"
#include "query/progresssequence.h"
#include "query/queryaddress.h"
#include "windows/linklabel.h"
#include "windows/windowregistry.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

frmmain::frmmain(WindowRegistry &registry)
    : FormWindow(frmmainDescription(), QueryAddress::mainStartPage(registry.deployment().mainQueryHost))
    , Combo2(control<QComboBox>(QStringLiteral("Combo2")))
    , Text2(control<QLineEdit>(QStringLiteral("Text2")))
    , Text3(control<QLineEdit>(QStringLiteral("Text3")))
    , Text1(control<QLineEdit>(QStringLiteral("Text1")))
    , Command1(control<QPushButton>(QStringLiteral("Command1")))
    , Timer1(control<Timer>(QStringLiteral("Timer1")))
    , pg(control<ProgressBar>(QStringLiteral("pg")))
    , WebBrowser1(control<Browser>(QStringLiteral("WebBrowser1")))
    , LabelFavs(control<LinkLabel>(QStringLiteral("LabelFavs")))
    , Label6(control<LinkLabel>(QStringLiteral("Label6")))
    , lblZyrAdmin(control<LinkLabel>(QStringLiteral("lblZyrAdmin")))
    , m_registry(registry)
{
    // activated: a pick from the list by mouse or keyboard, not typing and
    // not changes made by code.
    connect(Combo2, &QComboBox::activated, this, &frmmain::Combo2_Click);
    connect(Command1, &QPushButton::clicked, this, &frmmain::Command1_Click);
    connect(Timer1, &Timer::tick, this, &frmmain::Timer1_Timer);
    for (LinkLabel *link : {LabelFavs, Label6, lblZyrAdmin})
        link->setCursor(Qt::PointingHandCursor);
    connect(LabelFavs, &LinkLabel::clicked, this, &frmmain::LabelFavs_Click);
    connect(Label6, &LinkLabel::clicked, this, &frmmain::Label6_Click);
    connect(lblZyrAdmin, &LinkLabel::clicked, this, &frmmain::lblZyrAdmin_Click);
}

void frmmain::Combo2_Click(int listIndex)
{
    const std::optional<ServerValues> preset = presetFor(listIndex, m_registry.deployment().presetServerIp);
    if (!preset)
        return;
    Text2->setText(preset->address);
    Text3->setText(preset->queryPort);
    Text1->setText(preset->webPort);
}

void frmmain::Command1_Click()
{
    Timer1->setEnabled(true);
}

void frmmain::Timer1_Timer()
{
    ProgressSequence::tick(*pg, *Timer1, [this] { lookup(); });
}

void frmmain::lookup()
{
    const ServerValues values{Text2->text(), Text3->text(), Text1->text()};
    const QString base = QueryAddress::mainQueryBase(m_registry.deployment().mainQueryHost);
    WebBrowser1->Navigate(QueryAddress::compose(base, values));
}

void frmmain::LabelFavs_Click()
{
    m_registry.showFavourites();
}

void frmmain::Label6_Click()
{
    m_registry.showAbout();
}

void frmmain::lblZyrAdmin_Click()
{
    OpenInExplorer(this, CommandLine::adminPageUrl(m_registry.deployment().adminHost), m_registry.shellLaunch());
}
