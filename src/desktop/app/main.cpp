#include "app/application.h"
#include "app/folders.h"
#include "app/desktop.h"
#include "core/deployment.h"
#include "favourites/favouritesfile.h"
#include "platform/executablefolder.h"
#include "watch/livesettings.h"

#include <QCommandLineParser>

namespace {

void describeOptions(QCommandLineParser &options)
{
    options.setApplicationDescription(
        QStringLiteral("Looks up Unreal Tournament 3 game servers and keeps six favourites."));
    options.addHelpOption();
    options.addVersionOption();
}

// --help and --version are answered with a core application alone, so that
// they work on a terminal without a display; both end the process. Options
// of the window system (-platform, -style) are only known to the full
// application, which reads the command line again.
void answerHelpOrVersion(int argc, char *argv[])
{
    QCoreApplication terminal(argc, argv);
    Application::nameProgram();
    QCommandLineParser options;
    describeOptions(options);
    options.parse(terminal.arguments());
    if (options.isSet(QStringLiteral("help")))
        options.showHelp();
    if (options.isSet(QStringLiteral("version")))
        options.showVersion();
}

}

int main(int argc, char *argv[])
{
    // The browser engine shares its rendering contexts across windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    answerHelpOrVersion(argc, argv);
    Application app(argc, argv);

    QCommandLineParser options;
    describeOptions(options);
    options.process(app);

    const QString folder = ExecutableFolder::path();
    Desktop desktop(Deployment::built(), Folders::sound(folder), Folders::favourites(folder));
    desktop.program().showMain();
    desktop.startWatchingAfterStartPage(FavouritesFile::configFolder() + QLatin1Char('/') + LiveSettings::fileName());
    return app.exec();
}
