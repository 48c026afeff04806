#pragma once

#include <QLabel>

// A label that reports a click of the left mouse button, released over it.
class LinkLabel final : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
