#pragma once

#include <QString>

// Where the program finds its files, from its executable's folder. Compiled
// into the executable, not into a library, so that a test can compile it as
// an installed build does.
namespace Folders {

inline constexpr char SaveSoundFile[] = "wickedsick.wav";

// The favourites file's folder, as chosen when the program was built (CMake
// option SKIRVANE_FAVOURITES_IN_CONFIG_FOLDER): beside the executable in the
// build tree; in FavouritesFile::configFolder() when installed, where the
// executable's folder is not writable.
QString favourites(const QString &executableFolder);

// The save sound's folder: beside the executable in the build tree, else
// the installed data folder (share/skirvane beside the executable's bin).
QString sound(const QString &executableFolder);

}
