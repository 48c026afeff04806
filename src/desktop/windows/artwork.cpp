#include "windows/artwork.h"

#include <QFileInfo>
#include <QPainter>
#include <QStyle>

#include <utility>

Artwork::Artwork(QString resource)
    : m_resource(std::move(resource))
{
}

QString Artwork::doubleSizeName(const QString &resource)
{
    const QFileInfo file(resource);
    const QString folder = file.path() == u"." ? QString() : file.path() + QLatin1Char('/');
    return folder + file.completeBaseName() + QStringLiteral("@2x.") + file.suffix();
}

const QPixmap &Artwork::forRatio(qreal devicePixelRatio) const
{
    if (devicePixelRatio <= 1.0) {
        if (m_single.isNull())
            m_single = QPixmap(m_resource);
        return m_single;
    }
    // The image reader gives a file named "@2x" a device pixel ratio of 2.
    if (m_double.isNull())
        m_double = QPixmap(doubleSizeName(m_resource));
    return m_double;
}

PictureLabel::PictureLabel(const QString &resource, QWidget *parent)
    : QLabel(parent)
    , m_artwork(resource)
{
    // The label's own pixmap gives it its size hint and its role for a
    // screen reader; what is painted is chosen by the pixel ratio. The
    // screen's own picture serves for both, so that a scaled screen does
    // not decode the 1× one as well.
    setPixmap(m_artwork.forRatio(devicePixelRatioF()));
}

void PictureLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    style()->drawItemPixmap(&painter, contentsRect(), alignment(), m_artwork.forRatio(devicePixelRatioF()));
}
