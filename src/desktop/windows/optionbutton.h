#pragma once

#include <QRadioButton>

// An option button without a caption that a click anywhere on it selects,
// not only on its round indicator.
class OptionButton final : public QRadioButton
{
    Q_OBJECT
public:
    using QRadioButton::QRadioButton;

protected:
    bool hitButton(const QPoint &pos) const override { return rect().contains(pos); }
};
