#include "platform/executablefolder.h"

#include <QCoreApplication>

namespace ExecutableFolder {

QString path()
{
    return QCoreApplication::applicationDirPath();
}

}
