#include "app/folders.h"

#include "favourites/favouritesfile.h"
#include "installeddata.h"

#include <QDir>
#include <QFileInfo>

namespace Folders {

QString favourites(const QString &executableFolder)
{
#ifdef SKIRVANE_FAVOURITES_IN_CONFIG_FOLDER
    Q_UNUSED(executableFolder);
    return FavouritesFile::configFolder();
#else
    return executableFolder;
#endif
}

QString sound(const QString &executableFolder)
{
    if (QFileInfo::exists(executableFolder + QLatin1Char('/') + QLatin1String(SaveSoundFile)))
        return executableFolder;
    return QDir::cleanPath(executableFolder + QLatin1Char('/') + QLatin1String(InstalledData::FromExecutableFolder));
}

}
