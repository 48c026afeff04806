#include "app/application.h"
#include "app/program.h"
#include "core/deployment.h"
#include "platform/executablefolder.h"

int main(int argc, char *argv[])
{
    // The browser engine shares its rendering contexts across windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    Application app(argc, argv);
    Program program(Deployment::built(), ExecutableFolder::path());
    program.showMain();
    return app.exec();
}
