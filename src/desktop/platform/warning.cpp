#include "platform/warning.h"

#include <QMessageBox>

void showWarning(QWidget *parent, const QString &objectName, const QString &text, const QString &details,
                 Qt::WindowModality modality)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Skirvane"), text, QMessageBox::Ok, parent);
    box->setObjectName(objectName);
    box->setInformativeText(details);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(modality);
    box->show();
}
