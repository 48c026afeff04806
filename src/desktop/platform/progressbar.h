#pragma once

#include <QProgressBar>

// A progress bar whose value is a single-precision number, read back exactly
// as it was written; the bar shows its rounding. No percentage text.
class ProgressBar final : public QProgressBar
{
    Q_OBJECT
public:
    explicit ProgressBar(QWidget *parent = nullptr);

    float value() const { return m_value; }
    void setValue(float value);

private:
    float m_value = 0.0f;
};
