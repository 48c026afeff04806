#pragma once

#include "watch/livesettings.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;

// Edits the watching settings and saves them to their file. A value that is
// not right is named in a message and nothing is saved; the dialog stays
// open for it to be put right.
class AlertsDialog final : public QDialog
{
    Q_OBJECT
public:
    AlertsDialog(QString settingsPath, QWidget *parent = nullptr);

    // The settings in the file, shown in the fields.
    void load();

signals:
    void saved(const LiveSettings &settings);

private:
    void save();

    const QString m_path;
    QLineEdit *const m_refreshEdit;
    QCheckBox *const m_enabledBox;
    QLineEdit *const m_minPlayersEdit;
    QLineEdit *const m_namesEdit;
};
