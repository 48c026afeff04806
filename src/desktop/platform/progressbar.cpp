#include "platform/progressbar.h"

#include <cmath>

ProgressBar::ProgressBar(QWidget *parent)
    : QProgressBar(parent)
{
    setRange(0, 100);
    setTextVisible(false);
    QProgressBar::setValue(0);
}

void ProgressBar::setValue(float value)
{
    m_value = value;
    QProgressBar::setValue(static_cast<int>(std::lround(value)));
}
