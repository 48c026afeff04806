// Start-up and memory of the program: does what its main() does (the shared
// rendering contexts, the application, the main window through the window
// registry, shown; its browser opens the start page as it is made), with
// every address pointed at the local page server. See startupprobe.h for
// what it prints.

#include "startupprobe.h"

#include "config/deployment.h"
#include "platform/browser.h"
#include "platform/executablefolder.h"
#include "windows/frmmain.h"
#include "windows/windowregistry.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    StartupProbe probe;
    if (const std::optional<int> status = probe.begin(argc, argv, QStringLiteral("skirvane")))
        return *status;

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Skirvane"));
    app.setApplicationVersion(QStringLiteral("1.01"));

    // Nothing leaves the machine, whatever this build was configured with.
    const QString host = probe.pageHost();
    Deployment deployment = Deployment::built();
    deployment.mainQueryHost = deployment.favoritesQueryHost = deployment.siteHost = host;
    deployment.presetServerIp = deployment.adminHost = QStringLiteral("127.0.0.1");

    WindowRegistry windows(deployment, ExecutableFolder::path());
    frmmain *window = windows.showMain();
    return probe.run(app, window->windowHandle(), window->WebBrowser1);
}
