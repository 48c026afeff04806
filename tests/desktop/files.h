#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A file's bytes; a marker no test writes when it cannot be read.
inline QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// Makes the file hold exactly these bytes; false when it could not.
inline bool writeRaw(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

#ifdef SKIRVANE_SCREENSHOT_DIR
#include <QDir>

// Leaves <build>/screenshots/<name>.png (from a QImage or a QPixmap) for a
// reviewer to look at.
template<class Picture>
bool saveScreenshot(const Picture &picture, const QString &name)
{
    const QString folder = QStringLiteral(SKIRVANE_SCREENSHOT_DIR);
    return QDir().mkpath(folder) && picture.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}
#endif
