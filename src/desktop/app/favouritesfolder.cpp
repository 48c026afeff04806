#include "app/favouritesfolder.h"

#include "favourites/favouritesfile.h"

namespace FavouritesFolder {

QString chosen(const QString &executableFolder)
{
#ifdef SKIRVANE_FAVOURITES_IN_CONFIG_FOLDER
    Q_UNUSED(executableFolder);
    return FavouritesFile::configFolder();
#else
    return executableFolder;
#endif
}

}
