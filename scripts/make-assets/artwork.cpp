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
// slant, plus fine grain. amplitude is in 8-bit levels. The streaks are laid
// out in logical pixels, so a picture at scale 2 has the same streaks, each
// two device pixels wide, and grain as fine as the device pixels.
void brush(QImage &image, int scale, quint32 seed, int amplitude)
{
    std::mt19937 random(seed);
    const int w = image.width();
    const int h = image.height();
    const int lanes = (w + h) / scale;
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
            const int delta = streak[((x + 3 * y / 5) / scale) % lanes] + grain(random);
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

// width and height are logical; the image has scale times as many pixels.
QImage surface(int width, int height, int scale, QColor top, QColor bottom, quint32 seed)
{
    QImage image(width * scale, height * scale, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 0, image.height());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.fillRect(image.rect(), g);
    p.end();
    brush(image, scale, seed, 5);
    return image;
}

// A painter that draws in logical pixels on an image of scale times as many.
void beginScaled(QPainter &p, QImage &image, int scale)
{
    p.begin(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(scale, scale);
}

// The banners share one look: steel, a visor-shaped plate behind the title,
// chevrons, and a glowing seam.
void banner(QImage &image, int scale, const QString &subtitle, qreal titleSize, int stripHeight)
{
    const qreal w = image.width() / scale;
    const qreal h = image.height() / scale;
    const qreal seam = h - stripHeight - 4;
    const QPointF centre(w / 2, seam * 0.46);
    QPainter p;
    beginScaled(p, image, scale);

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

QImage windowPicture(int scale)
{
    const int size = 727;
    const QRect area(0, 0, size, size);
    QImage image = surface(size, size, scale, QColor(30, 28, 26), QColor(13, 12, 12), 0x5c1e);
    QPainter p;
    beginScaled(p, image, scale);

    QRadialGradient light(QPointF(size * 0.3, size * 0.15), size * 0.8);
    light.setColorAt(0, QColor(90, 70, 55, 28));
    light.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(area, light);

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
    p.fillRect(area, vignette);
    return image;
}

QImage mainBanner(int scale)
{
    QImage image = surface(600, 170, scale, QColor(32, 30, 29), QColor(14, 13, 13), 0xb4a1);
    banner(image, scale, QStringLiteral("UT3 SERVER QUERY"), 64, 34);
    return image;
}

QImage aboutBanner(int scale)
{
    QImage image = surface(450, 128, scale, QColor(32, 30, 29), QColor(14, 13, 13), 0xab07);
    banner(image, scale, QStringLiteral("ABOUT  /  HELP"), 50, 8);
    return image;
}

namespace {

// The icon is drawn on a 32 x 32 grid, whatever its size.
constexpr qreal IconGrid = 32;

struct IconShapes
{
    QPolygonF shield;
    QPolygonF highlight;
    QPainterPath letter;
};

IconShapes iconShapes()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(25);
    font.setWeight(QFont::Black);
    QPainterPath letter;
    letter.addText(0, 0, font, QStringLiteral("S"));
    letter = letter.translated(QPointF(16, 14.5) - letter.boundingRect().center());
    return {QPolygonF({QPointF(4, 1.5), QPointF(28, 1.5), QPointF(30.5, 4), QPointF(30.5, 19), QPointF(16, 30.5),
                       QPointF(1.5, 19), QPointF(1.5, 4)}),
            QPolygonF({QPointF(3, 18.5), QPointF(3, 4.5), QPointF(4.5, 3), QPointF(27.5, 3)}),
            letter};
}

// Vertical gradients: from y1 to y2 on the grid.
struct Gradient
{
    qreal y1;
    qreal y2;
    QGradientStops stops;
};

const Gradient Steel{0, 32, {{0, QColor(92, 96, 104)}, {0.5, QColor(38, 40, 44)}, {1, QColor(18, 18, 20)}}};
const Gradient EmberFill{3, 26, {{0, QColor(255, 190, 90)}, {0.5, QColor(235, 70, 20)}, {1, QColor(150, 10, 6)}}};
const QColor ShieldRim(8, 8, 8);
const qreal ShieldRimWidth = 1.2;
const QColor Highlight(200, 205, 212, 150);
const qreal HighlightWidth = 0.8;
const QColor LetterRim(20, 4, 2);
const qreal LetterRimWidth = 1.4;

QLinearGradient linear(const Gradient &g)
{
    QLinearGradient result(0, g.y1, 0, g.y2);
    result.setStops(g.stops);
    return result;
}

QString number(qreal value)
{
    return QString::number(value, 'g', 6);
}

QString svgPoints(const QPolygonF &polygon)
{
    QStringList points;
    for (const QPointF &point : polygon)
        points += number(point.x()) + u',' + number(point.y());
    return points.join(u' ');
}

QString svgPathData(const QPainterPath &path)
{
    QStringList parts;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const QString point = number(e.x) + u' ' + number(e.y);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            parts += u'M' + point;
            break;
        case QPainterPath::LineToElement:
            parts += u'L' + point;
            break;
        case QPainterPath::CurveToElement:
            parts += u'C' + point;
            break;
        case QPainterPath::CurveToDataElement:
            parts += point;
            break;
        }
    }
    return parts.join(u' ');
}

QString svgGradient(const QString &id, const Gradient &g)
{
    QString stops;
    for (const QGradientStop &stop : g.stops)
        stops += QStringLiteral("      <stop offset=\"%1\" stop-color=\"%2\"/>\n").arg(number(stop.first), stop.second.name());
    return QStringLiteral("    <linearGradient id=\"%1\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"%2\" x2=\"0\" y2=\"%3\">\n%4"
                          "    </linearGradient>\n")
        .arg(id, number(g.y1), number(g.y2), stops);
}

QString svgStroke(const QColor &colour, qreal width)
{
    QString stroke = QStringLiteral("stroke=\"%1\" stroke-width=\"%2\" stroke-linejoin=\"bevel\" stroke-linecap=\"square\"").arg(colour.name(), number(width));
    if (colour.alpha() != 255)
        stroke += QStringLiteral(" stroke-opacity=\"%1\"").arg(number(colour.alphaF()));
    return stroke;
}

}

QImage icon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / IconGrid, size / IconGrid);

    const IconShapes shapes = iconShapes();
    p.setPen(QPen(ShieldRim, ShieldRimWidth));
    p.setBrush(linear(Steel));
    p.drawPolygon(shapes.shield);
    p.setPen(QPen(Highlight, HighlightWidth));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(shapes.highlight);

    p.setPen(QPen(LetterRim, LetterRimWidth));
    p.setBrush(linear(EmberFill));
    p.drawPath(shapes.letter);
    p.end();
    return image;
}

QByteArray iconSvg()
{
    const IconShapes shapes = iconShapes();
    const QString svg = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" viewBox=\"0 0 %1 %1\">\n"
        "  <defs>\n%2%3  </defs>\n"
        "  <polygon points=\"%4\" fill=\"url(#steel)\" %5/>\n"
        "  <polyline points=\"%6\" fill=\"none\" %7/>\n"
        "  <path d=\"%8\" fill=\"url(#ember)\" fill-rule=\"evenodd\" %9/>\n"
        "</svg>\n")
        .arg(number(IconGrid), svgGradient(QStringLiteral("steel"), Steel), svgGradient(QStringLiteral("ember"), EmberFill),
             svgPoints(shapes.shield), svgStroke(ShieldRim, ShieldRimWidth), svgPoints(shapes.highlight),
             svgStroke(Highlight, HighlightWidth), svgPathData(shapes.letter), svgStroke(LetterRim, LetterRimWidth));
    return svg.toUtf8();
}

}
