#pragma once

#include <QString>

namespace ExecutableFolder {

// The folder of the program's executable, as the platform reports it, with
// "/" as separator. Precondition: the application object exists.
QString path();

}
