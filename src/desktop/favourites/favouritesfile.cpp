#include "favourites/favouritesfile.h"

#include "favourites/codepage1252.h"
#include "favourites/filesystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace FavouritesFile {

QString fileName()
{
    return QStringLiteral("ut3servers.ini");
}

QString section()
{
    return QStringLiteral("SERVER");
}

const QStringList &keys()
{
    static const QStringList all = [] {
        const QStringList slotKeys = {QStringLiteral("ServerName"), QStringLiteral("ServerIP"),
                                      QStringLiteral("ServerPort"), QStringLiteral("Serverwport")};
        QStringList list;
        list.reserve(KeyCount);
        for (int slot = 1; slot <= SlotCount; ++slot) {
            const QString suffix = slot == 1 ? QString() : QString::number(slot);
            for (const QString &key : slotKeys)
                list.append(key + suffix);
        }
        return list;
    }();
    return all;
}

QList<ProfileKey> profileKeys()
{
    QList<ProfileKey> list;
    list.reserve(KeyCount);
    for (const QString &key : keys())
        list.append({section(), key});
    return list;
}

QString iniPath(const QString &folder)
{
    return folder + QLatin1Char('/') + fileName();
}

QString configFolder()
{
    const QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!base.isEmpty() && QDir::isAbsolutePath(base))
        return base + QStringLiteral("/skirvane");
    return QDir::homePath() + QStringLiteral("/.config/skirvane");
}

QByteArray saveText(const QStringList &values24)
{
    Q_ASSERT(values24.size() == KeyCount);
    QString text = QLatin1Char('[') + section() + QLatin1String("]\r\n");
    for (qsizetype i = 0; i < KeyCount; ++i)
        text += keys().at(i) + QLatin1Char('=') + values24.value(i) + QLatin1String("\r\n");
    // The reader takes a UTF-8 file by its byte-order mark.
    return CodePage1252::encode(text).value_or("\xEF\xBB\xBF" + text.toUtf8());
}

QStringList values(const ProfileReader &file)
{
    QStringList list;
    list.reserve(KeyCount);
    for (const QString &key : keys())
        list.append(file.value(section(), key));
    return list;
}

common::Expected<QStringList> load(const QString &path)
{
    const auto unreadable = [&](const QString &reason) {
        const QString message = QStringLiteral("Cannot read the file %1: %2").arg(QDir::toNativeSeparators(path), reason);
        return common::Fault{common::FaultKind::cannotOpen, message.toStdString()};
    };
    // Opening a named pipe would wait for a writer, and a device may never
    // end: only a regular file is read, also when one is swapped in between.
    if (const std::optional<QString> other = FileSystem::otherThanAFile(path))
        return unreadable(QStringLiteral("it is %1, not a file").arg(*other));
    QFile file;
    const common::Expected<FileSystem::Opening> opened = FileSystem::openFileForReading(path, file);
    if (!opened)
        return unreadable(QString::fromStdString(opened.fault().message));
    if (*opened == FileSystem::Opening::missing)
        return QStringList(KeyCount);
    // Read rather than mapped: a file cut short by someone else while mapped
    // would end the program. One byte over the size tells a file that grew.
    const QByteArray bytes = file.read(std::min(file.size(), MaxFileBytes) + 1);
    if (bytes.size() > MaxFileBytes)
        return unreadable(QStringLiteral("it holds more than %1 MiB, too much for a favourites file")
                              .arg(MaxFileBytes / (1024 * 1024)));
    if (file.error() != QFile::NoError)
        return unreadable(file.errorString());
    return values(ProfileReader::read(bytes, profileKeys()));
}

common::Expected<common::Done> save(const QString &path, const QStringList &values24)
{
    for (qsizetype i = 0; i < KeyCount; ++i) {
        if (values24.value(i).contains(QLatin1Char('\r')) || values24.value(i).contains(QLatin1Char('\n')))
            return common::Fault{QStringLiteral("Cannot save the file %1: the field %2 holds a line break, "
                                                "which would make a line of its own")
                                     .arg(QDir::toNativeSeparators(path), keys().at(i))
                                     .toStdString()};
    }
    // A failure to make the folder is explained by the write that follows.
    QDir().mkpath(QFileInfo(path).absolutePath());
    return FileWriter::replaceFile(path, saveText(values24));
}

}
