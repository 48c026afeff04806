#include "iconfile.h"

#include <QDataStream>
#include <QIODevice>

#include <algorithm>
#include <climits>
#include <vector>

namespace IconFile {

namespace {

// Palette index 0 is black and also stands under the transparent pixels.
constexpr int PaletteSize = 256;

using Colours = std::vector<QRgb>;

// Median cut: split the box with the widest channel range at its median
// until there are enough boxes; each box gives its mean colour.
std::vector<QRgb> medianCut(Colours colours, int count)
{
    std::vector<Colours> boxes{std::move(colours)};
    const auto range = [](const Colours &box, int shift) {
        auto [lo, hi] = std::minmax_element(box.begin(), box.end(), [shift](QRgb a, QRgb b) {
            return ((a >> shift) & 0xff) < ((b >> shift) & 0xff);
        });
        return int((*hi >> shift) & 0xff) - int((*lo >> shift) & 0xff);
    };
    while (int(boxes.size()) < count) {
        auto widest = boxes.end();
        int widestRange = 0;
        int widestShift = 0;
        for (auto box = boxes.begin(); box != boxes.end(); ++box) {
            if (box->size() < 2)
                continue;
            for (int shift : {16, 8, 0}) {
                const int r = range(*box, shift);
                if (r > widestRange) {
                    widest = box;
                    widestRange = r;
                    widestShift = shift;
                }
            }
        }
        if (widest == boxes.end())
            break;
        Colours &box = *widest;
        const auto middle = box.begin() + box.size() / 2;
        std::nth_element(box.begin(), middle, box.end(), [s = widestShift](QRgb a, QRgb b) {
            return ((a >> s) & 0xff) < ((b >> s) & 0xff);
        });
        Colours upper(middle, box.end());
        box.erase(middle, box.end());
        boxes.push_back(std::move(upper));
    }
    std::vector<QRgb> palette;
    for (const Colours &box : boxes) {
        long r = 0, g = 0, b = 0;
        for (QRgb c : box) {
            r += qRed(c);
            g += qGreen(c);
            b += qBlue(c);
        }
        const long n = long(box.size());
        if (n == 0)
            continue;
        palette.push_back(qRgb(int((r + n / 2) / n), int((g + n / 2) / n), int((b + n / 2) / n)));
    }
    return palette;
}

int nearest(const std::vector<QRgb> &palette, QRgb colour)
{
    int best = 0;
    int bestDistance = INT_MAX;
    for (int i = 0; i < int(palette.size()); ++i) {
        const int dr = qRed(palette[i]) - qRed(colour);
        const int dg = qGreen(palette[i]) - qGreen(colour);
        const int db = qBlue(palette[i]) - qBlue(colour);
        const int distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

}

QByteArray encode(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();

    // Semi-transparent edge pixels are blended onto black: the mask is all or nothing.
    const auto opaqueColour = [&](int x, int y) {
        const QRgb p = image.pixel(x, y);
        return qRgb(qRed(p) * qAlpha(p) / 255, qGreen(p) * qAlpha(p) / 255, qBlue(p) * qAlpha(p) / 255);
    };
    const auto shown = [&](int x, int y) { return qAlpha(image.pixel(x, y)) >= 96; };

    Colours colours;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (shown(x, y))
                colours.push_back(opaqueColour(x, y));
    std::vector<QRgb> palette{qRgb(0, 0, 0)};
    const std::vector<QRgb> cut = medianCut(std::move(colours), PaletteSize - 1);
    palette.insert(palette.end(), cut.begin(), cut.end());
    palette.resize(PaletteSize, qRgb(0, 0, 0));

    const int xorRow = (w + 3) / 4 * 4;
    const int andRow = (w + 31) / 32 * 4;
    const int bitmapSize = 40 + PaletteSize * 4 + xorRow * h + andRow * h;

    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    // Directory: one 256-colour image.
    out << quint16(0) << quint16(1) << quint16(1);
    out << quint8(w) << quint8(h) << quint8(0) << quint8(0) << quint16(1) << quint16(8) << quint32(bitmapSize)
        << quint32(6 + 16);
    // The image, a bottom-up bitmap twice as high as the icon: colours, then mask.
    out << quint32(40) << qint32(w) << qint32(2 * h) << quint16(1) << quint16(8) << quint32(0)
        << quint32(xorRow * h + andRow * h) << qint32(0) << qint32(0) << quint32(PaletteSize) << quint32(0);
    for (QRgb c : palette)
        out << quint8(qBlue(c)) << quint8(qGreen(c)) << quint8(qRed(c)) << quint8(0);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < xorRow; ++x)
            out << quint8(x < w && shown(x, y) ? nearest(palette, opaqueColour(x, y)) : 0);
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(andRow, '\0');
        for (int x = 0; x < w; ++x)
            if (!shown(x, y))
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        out.writeRawData(row.constData(), int(row.size()));
    }
    Q_ASSERT(bytes.size() == 6 + 16 + bitmapSize);
    return bytes;
}

}
