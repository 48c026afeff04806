// Writes the program's artwork into the folder given as the one argument:
// window.jpg, banner-main.jpg, banner-about.jpg, skirvane.ico, skirvane.png
// and wickedsick.wav. Run with QT_QPA_PLATFORM=offscreen.
#include "artwork.h"
#include "iconfile.h"
#include "sound.h"

#include <QDir>
#include <QSaveFile>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(file.errorString()));
        return false;
    }
    return true;
}

bool writeImage(const QString &path, const QImage &image, const char *format, int quality = -1)
{
    if (!image.save(path, format, quality)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <assets folder>\n", argv[0]);
        return 2;
    }
    const QDir assets(QString::fromLocal8Bit(argv[1]));
    const QImage icon = Artwork::icon();
    const bool ok = writeImage(assets.filePath(QStringLiteral("window.jpg")), Artwork::windowPicture(), "JPEG", 90)
        && writeImage(assets.filePath(QStringLiteral("banner-main.jpg")), Artwork::mainBanner(), "JPEG", 92)
        && writeImage(assets.filePath(QStringLiteral("banner-about.jpg")), Artwork::aboutBanner(), "JPEG", 92)
        && writeFile(assets.filePath(QStringLiteral("skirvane.ico")), IconFile::encode(icon))
        && writeImage(assets.filePath(QStringLiteral("skirvane.png")), icon, "PNG")
        && writeFile(assets.filePath(QStringLiteral("wickedsick.wav")), Sound::powerUpWave());
    return ok ? 0 : 1;
}
