#include "app/application.h"
#include "app/folders.h"
#include "app/program.h"
#include "core/deployment.h"
#include "favourites/favouritesfile.h"
#include "platform/executablefolder.h"
#include "watch/livesettings.h"

#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    // The browser engine shares its rendering contexts across windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    Application app(argc, argv);

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Looks up Unreal Tournament 3 game servers and keeps six favourites."));
    options.addHelpOption();
    options.addVersionOption();
    options.process(app);

    const QString folder = ExecutableFolder::path();
    Program program(Deployment::built(), Folders::sound(folder), Folders::favourites(folder));
    program.startWatching(FavouritesFile::configFolder() + QLatin1Char('/') + LiveSettings::fileName());
    program.showMain();
    return app.exec();
}
