// Skirvane as it runs, for the watching benchmark (bench/watch.sh): the main
// window on its start page and, with --watch, the favourites watched, with
// both query hosts at the given address and the favourites file and
// settings in the given folder. Runs until ended; nothing is printed.
//
//   bench_watch --host 127.0.0.1:PORT --folder DIR [--watch]

#include "app/desktop.h"
#include "core/deployment.h"
#include "platform/browserengine.h"
#include "watch/livesettings.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    BrowserEngine::prepareUnattended();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QCommandLineParser options;
    options.addOption({"host", "query host", "host:port"});
    options.addOption({"folder", "favourites and settings folder", "folder"});
    options.addOption({"watch", "watch the favourites"});
    options.process(app);

    Deployment deployment = Deployment::built();
    deployment.mainQueryHost = options.value("host");
    deployment.favoritesQueryHost = options.value("host");
    const QString folder = options.value("folder");
    Desktop desktop(deployment, folder, folder);
    desktop.program().showMain();
    if (options.isSet("watch"))
        desktop.startWatching(folder + QLatin1Char('/') + LiveSettings::fileName());
    return app.exec();
}
