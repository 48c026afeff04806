#include "app/application.h"
#include "config/deployment.h"
#include "platform/executablefolder.h"
#include "windows/windowregistry.h"

int main(int argc, char *argv[])
{
    // The browser engine shares its rendering contexts across windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    Application app(argc, argv);
    WindowRegistry windows(Deployment::built(), ExecutableFolder::path());
    windows.showMain();
    return app.exec();
}
