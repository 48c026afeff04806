#include "windows/frmabout.h"

#include "launch/commandline.h"
#include "launch/openinexplorer.h"
#include "windows/frmmain.h"
#include "windows/helptext.h"
#include "windows/linklabel.h"
#include "windows/placement.h"
#include "windows/windowregistry.h"

#include <QFile>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>

namespace {

QString helpText(const Deployment &deployment)
{
    QFile stored(QString::fromLatin1(HelpText::TemplateResource));
    if (!stored.open(QIODevice::ReadOnly))
        return QString();
    return HelpText::fill(QString::fromUtf8(stored.readAll()), deployment);
}

}

frmAbout::frmAbout(WindowRegistry &registry)
    : FormWindow(frmAboutDescription(helpText(registry.deployment())))
    , Label8(control<LinkLabel>(QStringLiteral("Label8")))
    , Text1(control<QPlainTextEdit>(QStringLiteral("Text1")))
    , m_registry(registry)
{
    Label8->setCursor(Qt::PointingHandCursor);
    connect(Label8, &LinkLabel::clicked, this, &frmAbout::Label8_Click);
}

void frmAbout::Form_Load()
{
    const frmmain *main = m_registry.mainWindow();
    if (!main) {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        move(screen.center() - rect().center());
        return;
    }
    const Placement::Position at = Placement::aboutByMain(
        {main->twipsLeft(), main->twipsTop(), main->scaleWidth(), main->scaleHeight()});
    moveToTwips(at.left, at.top);
}

void frmAbout::Label8_Click()
{
    OpenInExplorer(this, CommandLine::updatePageUrl(m_registry.deployment().siteHost), m_registry.shellLaunch());
}
