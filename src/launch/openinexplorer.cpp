#include "launch/openinexplorer.h"

#include "launch/commandline.h"
#include "platform/shelllaunch.h"

#include <QMessageBox>

void OpenInExplorer(QWidget *parent, const QString &address, ShellLaunch &launch)
{
    const std::optional<LaunchFailure> failure =
        launch.start(CommandLine::explorerCommandLine(address), CommandLine::LaunchWindowStyle);
    if (!failure)
        return;

    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Skirvane"),
                                QStringLiteral("The page %1 could not be opened.").arg(address),
                                QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("launchFailure"));
    box->setInformativeText(failure->message);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
