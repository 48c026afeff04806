#pragma once

#include <QString>
#include <Qt>

class QWidget;

// Opens a warning box with the program's name as caption and returns at
// once; the box deletes itself when closed. With a parent it is by default
// modal to that window only; without one it stands on its own.
void showWarning(QWidget *parent, const QString &objectName, const QString &text, const QString &details,
                 Qt::WindowModality modality = Qt::WindowModal);
