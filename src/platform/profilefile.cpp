#include "platform/profilefile.h"

#include <QFile>
#include <QFileInfo>

ProfileFile ProfileFile::load(const QString &path, const QList<ProfileKey> &wanted)
{
    // Opening a named pipe would wait for a writer, and a device may never end.
    if (!QFileInfo(path).isFile())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Read rather than mapped: a file cut short by someone else while mapped
    // would end the program.
    return ProfileFile(ProfileReader::read(file.readAll(), wanted));
}
