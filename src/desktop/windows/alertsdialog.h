#pragma once

#include "watch/livesettings.h"

#include <QDialog>
#include <QHash>

// Edits the watching settings: one field for each declared setting. A value
// that is not right is named in a message and the dialog stays open for it
// to be put right; right values are handed on in chosen(), and whoever
// keeps the file saves them.
class AlertsDialog final : public QDialog
{
    Q_OBJECT
public:
    explicit AlertsDialog(const LiveSettings &settings, QWidget *parent = nullptr);

signals:
    void chosen(const LiveSettings &settings);

private:
    void choose();

    // By setting key: a QLineEdit, or a QCheckBox for a flag.
    QHash<QString, QWidget *> m_fields;
};
