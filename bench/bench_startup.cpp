// Start-up and memory of the program: does what its main() does (the shared
// rendering contexts, the application, the main window through the
// composition root, shown, its browser opening the start page as it is made;
// the watching of the favourites once the page is in), with every address
// pointed at the local page server. The favourites file and the watching
// settings are looked for beside the executable. See startupprobe.h for what it prints.

#include "startupprobe.h"

#include "app/desktop.h"
#include "core/deployment.h"
#include "platform/browser.h"
#include "platform/executablefolder.h"
#include "version.h"
#include "watch/livesettings.h"
#include "windows/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    StartupProbe probe;
    if (const std::optional<int> status = probe.begin(argc, argv, QStringLiteral("skirvane")))
        return *status;

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Skirvane"));
    app.setApplicationVersion(QString::fromLatin1(Version::Text));
    probe.markApplication();

    // Nothing leaves the machine, whatever this build was configured with.
    const QString host = probe.pageHost();
    Deployment deployment = Deployment::built();
    deployment.mainQueryHost = deployment.favoritesQueryHost = deployment.siteHost = host;
    deployment.presetServerIp = deployment.adminHost = QStringLiteral("127.0.0.1");

    const QString folder = ExecutableFolder::path();
    Desktop desktop(deployment, folder, folder);
    MainWindow *window = desktop.program().showMain();
    desktop.startWatchingAfterStartPage(folder + QLatin1Char('/') + LiveSettings::fileName());
    probe.markBuilt();
    return probe.run(app, window->windowHandle(), window->findChild<Browser *>(QStringLiteral("WebBrowser1"))->view());
}
