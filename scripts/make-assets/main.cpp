// Writes the program's artwork into the folder given as the one argument:
// window.jpg, banner-main.jpg, banner-about.jpg, skirvane.ico, skirvane.png,
// each also as name@2x (twice the pixels, for high-density screens), the
// icon for the desktop's icon theme (skirvane-<size>.png and skirvane.svg)
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
    const auto path = [&assets](const QString &name) { return assets.filePath(name); };
    bool ok = true;
    for (int scale : {1, 2}) {
        const QString suffix = scale == 1 ? QString() : QStringLiteral("@%1x").arg(scale);
        const auto file = [&](const char *name, const char *extension) {
            return path(QStringLiteral("%1%2.%3").arg(QLatin1String(name), suffix, QLatin1String(extension)));
        };
        const QImage icon = Artwork::icon(32 * scale);
        ok = ok && writeImage(file("window", "jpg"), Artwork::windowPicture(scale), "JPEG", 90)
            && writeImage(file("banner-main", "jpg"), Artwork::mainBanner(scale), "JPEG", 92)
            && writeImage(file("banner-about", "jpg"), Artwork::aboutBanner(scale), "JPEG", 92)
            && writeFile(file("skirvane", "ico"), IconFile::encode(icon))
            && writeImage(file("skirvane", "png"), icon, "PNG");
    }
    // The theme's other sizes; 32 and 64 are skirvane.png and skirvane@2x.png.
    for (int size : {16, 48, 128, 256})
        ok = ok && writeImage(path(QStringLiteral("skirvane-%1.png").arg(size)), Artwork::icon(size), "PNG");
    ok = ok && writeFile(path(QStringLiteral("skirvane.svg")), Artwork::iconSvg())
        && writeFile(path(QStringLiteral("wickedsick.wav")), Sound::powerUpWave());
    return ok ? 0 : 1;
}
