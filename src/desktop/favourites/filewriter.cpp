#include "favourites/filewriter.h"

#include "favourites/filesystem.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

common::Fault failure(const QString &path, const QString &reason)
{
    return {QStringLiteral("Cannot save the file %1: %2").arg(QDir::toNativeSeparators(path), reason).toStdString()};
}

// Where the bytes really go: the save replaces a link's target, not the link.
QFileInfo target(const QString &path)
{
    QFileInfo info(path);
    for (int links = 0; links < 32 && info.isSymLink(); ++links)
        info.setFile(info.symLinkTarget());
    return info;
}

// A save killed between making its temporary file and the swap leaves the
// temporary file behind; one older than a minute belongs to no running save.
void removeLeftovers(const QFileInfo &file)
{
    const QRegularExpression ours(
        QRegularExpression::anchoredPattern(QRegularExpression::escape(file.fileName()) + QStringLiteral("\\.[A-Za-z0-9]{6}")));
    const QDateTime stale = QDateTime::currentDateTimeUtc().addSecs(-60);
    QDir folder = file.dir();
    const QFileInfoList entries = folder.entryInfoList({file.fileName() + QStringLiteral(".??????")},
                                                       QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo &entry : entries) {
        if (ours.match(entry.fileName()).hasMatch() && entry.lastModified().toUTC() < stale)
            folder.remove(entry.fileName());
    }
}

}

namespace FileWriter {

common::Expected<common::Done> replaceFile(const QString &path, QByteArrayView bytes)
{
    if (const std::optional<QString> other = FileSystem::otherThanAFile(path))
        return failure(path, QStringLiteral("%1 is in its place, and it was left as it is").arg(*other));
    const QFileInfo file = target(path);
    removeLeftovers(file);

    // Unbuffered, each write reaches the system at once: commit() does not
    // notice when the last buffered bytes cannot be written (disk full), and
    // a write cut short is only explained by the next one, which fails.
    QSaveFile save(path);
    if (!save.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (file.dir().exists() && !FileSystem::folderWritable(file.absolutePath()))
            return failure(path, QStringLiteral("the folder %1 must be writable, since a save writes a new file "
                                                "beside the old one and swaps them (%2)")
                                     .arg(QDir::toNativeSeparators(file.absolutePath()), save.errorString()));
        return failure(path, save.errorString());
    }
    for (qsizetype written = 0; written < bytes.size();) {
        const qint64 count = save.write(bytes.data() + written, bytes.size() - written);
        if (count <= 0) {
            common::Fault failed = failure(path, save.errorString());
            save.cancelWriting();
            return failed;
        }
        written += count;
    }
    if (!save.commit())
        return failure(path, save.errorString());
    return common::Done{};
}

}
