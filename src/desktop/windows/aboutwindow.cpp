#include "windows/aboutwindow.h"

#include "core/helptext.h"
#include "core/pageaddress.h"
#include "version.h"
#include "windows/linklabel.h"

#include <QFile>
#include <QPlainTextEdit>

namespace {

QString helpText(const Deployment &deployment)
{
    QFile stored(QString::fromLatin1(HelpText::TemplateResource));
    if (!stored.open(QIODevice::ReadOnly))
        return QString();
    return HelpText::fill(QString::fromUtf8(stored.readAll()), deployment);
}

}

AboutWindow::AboutWindow(const Deployment &deployment, UrlOpener &opener)
    : Form({.name = "frmAbout", .caption = "About/Help ", .clientWidth = 7485, .clientHeight = 5385,
            .frame = FormLook::Frame::FixedToolWindow, .backColour = DesignColours::Backdrop})
{
    add<LinkLabel>({.tab = 0, .name = "Label1", .text = QStringLiteral("Skirvane v{Zyr}%1 by: Orlen").arg(Version::Text),
                    .left = 360, .top = 2040, .width = 6750, .height = 375, .font = Font::boldSansSerif(9.75)});
    auto *updateLink = add<LinkLabel>({.tab = 1, .name = "Label8", .text = "Check For Updates", .left = 5640,
                                       .top = 5040, .width = 1695, .height = 375, .font = Font::boldSansSerif()});
    add<QPlainTextEdit>({.tab = 2, .name = "Text1", .text = helpText(deployment), .left = 120, .top = 2520,
                         .width = 7215, .height = 2415, .accessibleName = "Help"});
    addPicture("Image1", ":/assets/banner-about.jpg",
               {.left = 360, .top = 0, .width = 6750, .height = 1920, .accessibleName = "Skirvane banner"});
    finishTabOrder();

    updateLink->setCursor(Qt::PointingHandCursor);
    connect(updateLink, &LinkLabel::clicked, this,
            [this, &opener, site = deployment.siteHost] { openPage(opener, PageAddress::updatePage(site)); });
}
