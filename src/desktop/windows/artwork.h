#pragma once

#include <QLabel>
#include <QPixmap>
#include <QString>

class QPainter;

// A picture of the program's artwork, built in as "<name>.<ext>" and, with
// twice the pixels, "<name>@2x.<ext>". On a device scaled above 1 the 2×
// file is drawn, so that the picture stays sharp rather than blown up; at 1
// the 1× file, pixel for pixel. A QPixmap loaded by name never picks the 2×
// file by itself (only QIcon does), so both are named here; each is loaded
// when first drawn.
class Artwork final
{
public:
    explicit Artwork(QString resource);

    // The 2× picture carries a device pixel ratio of 2: it covers the same
    // area as the 1× one.
    const QPixmap &forRatio(qreal devicePixelRatio) const;

    static QString doubleSizeName(const QString &resource);

private:
    QString m_resource;
    mutable QPixmap m_single;
    mutable QPixmap m_double;
};

// A label showing artwork, drawn for the pixel ratio it is painted at.
class PictureLabel final : public QLabel
{
    Q_OBJECT
public:
    PictureLabel(const QString &resource, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Artwork m_artwork;
};
