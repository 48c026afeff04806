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
    // would end the program. Read in pieces into one buffer, and only up to
    // the last key asked for.
    constexpr qint64 PieceBytes = 512 * 1024;
    QByteArray piece(PieceBytes, Qt::Uninitialized);
    ProfileStreamReader stream(wanted);
    for (;;) {
        const qint64 got = file.read(piece.data(), PieceBytes);
        if (got <= 0 || !stream.add(QByteArrayView(piece.constData(), got)))
            break;
    }
    return ProfileFile(stream.finish());
}
