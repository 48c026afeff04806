#include "windows/alertsdialog.h"

#include "platform/warning.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>

AlertsDialog::AlertsDialog(const LiveSettings &settings, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("alerts"));
    setWindowTitle(QStringLiteral("Alerts"));
    auto *form = new QFormLayout(this);
    for (const SettingDeclaration &setting : SettingDeclaration::all()) {
        QWidget *field = nullptr;
        if (const auto *flag = std::get_if<SettingDeclaration::Flag>(&setting.type)) {
            auto *box = new QCheckBox(flag->caption);
            box->setChecked(settings.*flag->field);
            field = box;
        } else {
            auto *edit = new QLineEdit(setting.text(settings));
            edit->setPlaceholderText(setting.placeholder);
            field = edit;
        }
        field->setObjectName(setting.name());
        form->addRow(setting.label, field);
        m_fields.insert(setting.key, field);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &AlertsDialog::choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void AlertsDialog::choose()
{
    LiveSettings settings;
    for (const SettingDeclaration &setting : SettingDeclaration::all()) {
        QWidget *field = m_fields.value(setting.key);
        const auto *box = qobject_cast<QCheckBox *>(field);
        const QString text = box ? (box->isChecked() ? QStringLiteral("true") : QStringLiteral("false"))
                                 : static_cast<QLineEdit *>(field)->text();
        if (const common::Expected<common::Done> read = setting.read(text, settings); !read.ok()) {
            showWarning(this, QStringLiteral("badSetting"), QStringLiteral("The alerts were not saved."),
                        QString::fromStdString(read.fault().message));
            return;
        }
    }
    emit chosen(settings);
}
