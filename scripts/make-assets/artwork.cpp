#include "artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <random>

namespace Artwork {

namespace {

const QColor Ember(255, 92, 26);
const QColor DeepRed(150, 12, 8);

// Brushed steel running at a slant: streaks that stay constant along the
// slant, plus fine grain. amplitude is in 8-bit levels.
void brush(QImage &image, quint32 seed, int amplitude)
{
    std::mt19937 random(seed);
    const int w = image.width();
    const int h = image.height();
    const int lanes = w + h;
    std::vector<int> streak(lanes);
    std::uniform_int_distribution<int> streakLevel(-amplitude, amplitude);
    int level = 0;
    for (int &value : streak) {
        level = (level * 3 + streakLevel(random)) / 4;
        value = level;
    }
    std::uniform_int_distribution<int> grain(-2, 2);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int delta = streak[(x + 3 * y / 5) % lanes] + grain(random);
            const QRgb p = line[x];
            line[x] = qRgba(std::clamp(qRed(p) + delta, 0, 255), std::clamp(qGreen(p) + delta, 0, 255),
                            std::clamp(qBlue(p) + delta, 0, 255), qAlpha(p));
        }
    }
}

QPolygonF chamfered(const QRectF &r, qreal cut)
{
    return QPolygonF({QPointF(r.left() + cut, r.top()), QPointF(r.right(), r.top()),
                      QPointF(r.right(), r.bottom() - cut), QPointF(r.right() - cut, r.bottom()),
                      QPointF(r.left(), r.bottom()), QPointF(r.left(), r.top() + cut)});
}

// A steel plate sunk into the surface: darker inside, a light lower-right
// bevel and a dark upper-left one.
void plate(QPainter &p, const QPolygonF &shape, int strength)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 5 * strength));
    p.drawPolygon(shape);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0, 18 * strength), 2));
    p.drawPolygon(shape);
    p.setPen(QPen(QColor(255, 255, 255, 4 * strength), 1));
    p.drawPolygon(shape.translated(1, 1));
}

void rivet(QPainter &p, QPointF centre, qreal radius, int strength)
{
    QRadialGradient g(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    g.setColorAt(0, QColor(255, 255, 255, 9 * strength));
    g.setColorAt(1, QColor(0, 0, 0, 14 * strength));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
}

// A line that seems to glow: wide faint strokes under a thin bright one.
void glowLine(QPainter &p, QPointF a, QPointF b, const QColor &colour, qreal core)
{
    for (int i = 6; i >= 1; --i) {
        QColor c = colour;
        c.setAlpha(10 + 6 * (6 - i));
        p.setPen(QPen(c, core + 2 * i, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(a, b);
    }
    p.setPen(QPen(colour.lighter(150), core, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(a, b);
}

// Chevrons pointing at the title, fading outwards.
void chevrons(QPainter &p, QPointF tip, qreal size, int count, int direction)
{
    for (int i = 0; i < count; ++i) {
        const qreal x = tip.x() - direction * i * size * 0.55;
        QColor c = Ember;
        c.setAlpha(std::max(30, 190 - 45 * i));
        const QPolygonF chevron({QPointF(x - direction * size * 0.45, tip.y() - size * 0.5),
                                 QPointF(x, tip.y()),
                                 QPointF(x - direction * size * 0.45, tip.y() + size * 0.5),
                                 QPointF(x - direction * size * 0.7, tip.y() + size * 0.5),
                                 QPointF(x - direction * size * 0.25, tip.y()),
                                 QPointF(x - direction * size * 0.7, tip.y() - size * 0.5)});
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawPolygon(chevron);
    }
}

QPainterPath centredText(const QString &text, const QFont &font, QPointF centre)
{
    QPainterPath path;
    path.addText(0, 0, font, text);
    const QRectF box = path.boundingRect();
    return path.translated(centre - box.center());
}

// Chrome letters with a dark rim and an ember glow behind them.
void title(QPainter &p, const QPainterPath &letters)
{
    const QRectF box = letters.boundingRect();
    for (int i = 8; i >= 1; --i) {
        QColor c = Ember;
        c.setAlpha(9 + 2 * (8 - i));
        p.setPen(QPen(c, 2.0 * i, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(letters);
    }
    QLinearGradient chrome(box.topLeft(), box.bottomLeft());
    chrome.setColorAt(0.00, QColor(250, 250, 252));
    chrome.setColorAt(0.45, QColor(170, 176, 186));
    chrome.setColorAt(0.50, QColor(84, 88, 96));
    chrome.setColorAt(0.75, QColor(150, 156, 166));
    chrome.setColorAt(1.00, QColor(220, 224, 230));
    p.setPen(QPen(QColor(10, 8, 8), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(chrome);
    p.drawPath(letters);
}

QFont titleFont(qreal pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(int(pixelSize));
    font.setWeight(QFont::Black);
    font.setStretch(QFont::SemiCondensed);
    font.setLetterSpacing(QFont::PercentageSpacing, 108);
    return font;
}

QFont captionFont(int pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, pixelSize * 0.45);
    return font;
}

QImage surface(int width, int height, QColor top, QColor bottom, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(image.rect(), g);
    p.end();
    brush(image, seed, 5);
    return image;
}

// The banners share one look: steel, a visor-shaped plate behind the title,
// chevrons, and a glowing seam.
void banner(QImage &image, const QString &subtitle, qreal titleSize, int stripHeight)
{
    const qreal w = image.width();
    const qreal h = image.height();
    const qreal seam = h - stripHeight - 4;
    const QPointF centre(w / 2, seam * 0.46);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QRadialGradient haze(centre, w * 0.45);
    haze.setColorAt(0, QColor(120, 30, 10, 70));
    haze.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(QRectF(0, 0, w, seam), haze);

    const qreal visorHalf = w * 0.36;
    const QPolygonF visor({QPointF(centre.x() - visorHalf, 6), QPointF(centre.x() + visorHalf, 6),
                           QPointF(centre.x() + visorHalf - seam * 0.35, seam - 6),
                           QPointF(centre.x() - visorHalf + seam * 0.35, seam - 6)});
    plate(p, visor, 5);
    plate(p, chamfered(QRectF(8, 8, w * 0.11, seam - 16), 10), 3);
    plate(p, chamfered(QRectF(w - 8 - w * 0.11, 8, w * 0.11, seam - 16), 10), 3);
    for (qreal x : {16.0, w - 16.0})
        for (qreal y : {18.0, seam - 18.0})
            rivet(p, QPointF(x, y), 2.6, 5);

    chevrons(p, QPointF(centre.x() - visorHalf - 4, centre.y()), titleSize * 0.5, 3, 1);
    chevrons(p, QPointF(centre.x() + visorHalf + 4, centre.y()), titleSize * 0.5, 3, -1);

    title(p, centredText(QStringLiteral("SKIRVANE"), titleFont(titleSize), centre - QPointF(0, seam * 0.05)));

    const QPainterPath caption =
        centredText(subtitle, captionFont(int(titleSize * 0.2)), QPointF(centre.x(), seam * 0.86));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(196, 200, 206, 200));
    p.drawPath(caption);

    // Below the seam: a plain dark strip for the controls that lie on it.
    p.fillRect(QRectF(0, seam, w, h - seam), QColor(12, 11, 11, 200));
    glowLine(p, QPointF(0, seam), QPointF(w, seam), DeepRed, 1.5);
    glowLine(p, QPointF(w * 0.2, seam), QPointF(w * 0.8, seam), Ember, 1.5);
}

}

QImage windowPicture()
{
    const int size = 727;
    QImage image = surface(size, size, QColor(30, 28, 26), QColor(13, 12, 12), 0x5c1e);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QRadialGradient light(QPointF(size * 0.3, size * 0.15), size * 0.8);
    light.setColorAt(0, QColor(90, 70, 55, 28));
    light.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(image.rect(), light);

    // Large plates meeting at angles, as on armour.
    const QList<QPolygonF> plates = {
        chamfered(QRectF(-20, 150, 330, 260), 40),
        chamfered(QRectF(330, 120, 420, 200), 60),
        QPolygonF({QPointF(330, 340), QPointF(760, 340), QPointF(760, 560), QPointF(450, 560)}),
        QPolygonF({QPointF(-20, 430), QPointF(420, 430), QPointF(540, 590), QPointF(540, 760), QPointF(-20, 760)}),
        chamfered(QRectF(560, 580, 200, 180), 30),
        QPolygonF({QPointF(-20, -20), QPointF(520, -20), QPointF(470, 100), QPointF(-20, 100)}),
    };
    for (const QPolygonF &shape : plates)
        plate(p, shape, 3);

    // Rivets along the plate seams.
    for (int x = 30; x < size; x += 60) {
        rivet(p, QPointF(x, 112), 2.5, 2);
        rivet(p, QPointF(x + 20, 420), 2.5, 2);
    }

    // Faint angular grooves.
    p.setPen(QPen(QColor(0, 0, 0, 40), 1));
    for (int i = 0; i < 9; ++i) {
        const qreal x = 380 + i * 14;
        p.drawLine(QPointF(x, 600), QPointF(x + 90, 720));
    }

    QRadialGradient vignette(QPointF(size / 2.0, size / 2.0), size * 0.75);
    vignette.setColorAt(0.6, QColor(0, 0, 0, 0));
    vignette.setColorAt(1, QColor(0, 0, 0, 80));
    p.fillRect(image.rect(), vignette);
    return image;
}

QImage mainBanner()
{
    QImage image = surface(600, 170, QColor(32, 30, 29), QColor(14, 13, 13), 0xb4a1);
    banner(image, QStringLiteral("UT3 SERVER QUERY"), 64, 34);
    return image;
}

QImage aboutBanner()
{
    QImage image = surface(450, 128, QColor(32, 30, 29), QColor(14, 13, 13), 0xab07);
    banner(image, QStringLiteral("ABOUT  /  HELP"), 50, 8);
    return image;
}

QImage icon()
{
    QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    const QPolygonF shield({QPointF(4, 1.5), QPointF(28, 1.5), QPointF(30.5, 4), QPointF(30.5, 19),
                            QPointF(16, 30.5), QPointF(1.5, 19), QPointF(1.5, 4)});
    QLinearGradient steel(0, 0, 0, 32);
    steel.setColorAt(0, QColor(92, 96, 104));
    steel.setColorAt(0.5, QColor(38, 40, 44));
    steel.setColorAt(1, QColor(18, 18, 20));
    p.setPen(QPen(QColor(8, 8, 8), 1.2));
    p.setBrush(steel);
    p.drawPolygon(shield);
    p.setPen(QPen(QColor(200, 205, 212, 150), 0.8));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(3, 18.5), QPointF(3, 4.5), QPointF(4.5, 3), QPointF(27.5, 3)}));

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(25);
    font.setWeight(QFont::Black);
    QPainterPath letter;
    letter.addText(0, 0, font, QStringLiteral("S"));
    letter = letter.translated(QPointF(16, 14.5) - letter.boundingRect().center());
    QLinearGradient ember(0, 3, 0, 26);
    ember.setColorAt(0, QColor(255, 190, 90));
    ember.setColorAt(0.5, QColor(235, 70, 20));
    ember.setColorAt(1, QColor(150, 10, 6));
    p.setPen(QPen(QColor(20, 4, 2), 1.4));
    p.setBrush(ember);
    p.drawPath(letter);
    p.end();
    return image;
}

}
