#pragma once

#include <QString>

namespace FavouritesFolder {

// Where the program keeps its favourites file, as chosen when it was built
// (CMake option SKIRVANE_FAVOURITES_IN_CONFIG_FOLDER): beside the executable
// in the build tree; in FavouritesFile::configFolder() when installed, where
// the executable's folder is not writable.
// Compiled into the executable, not into a library, so that a test can
// compile it as an installed build does.
QString chosen(const QString &executableFolder);

}
