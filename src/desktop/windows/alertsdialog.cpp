#include "windows/alertsdialog.h"

#include "platform/warning.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>

AlertsDialog::AlertsDialog(QString settingsPath, QWidget *parent)
    : QDialog(parent)
    , m_path(std::move(settingsPath))
    , m_refreshEdit(new QLineEdit)
    , m_enabledBox(new QCheckBox(QStringLiteral("Notify me")))
    , m_minPlayersEdit(new QLineEdit)
    , m_namesEdit(new QLineEdit)
{
    setObjectName(QStringLiteral("alerts"));
    setWindowTitle(QStringLiteral("Alerts"));
    m_refreshEdit->setObjectName(QStringLiteral("refreshSeconds"));
    m_enabledBox->setObjectName(QStringLiteral("enabled"));
    m_minPlayersEdit->setObjectName(QStringLiteral("minPlayers"));
    m_namesEdit->setObjectName(QStringLiteral("names"));
    m_namesEdit->setPlaceholderText(QStringLiteral("names separated by commas"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("Refresh every (seconds):"), m_refreshEdit);
    form->addRow(QStringLiteral("Alerts:"), m_enabledBox);
    form->addRow(QStringLiteral("When a favourite has at least (players):"), m_minPlayersEdit);
    form->addRow(QStringLiteral("When one of these joins:"), m_namesEdit);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &AlertsDialog::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void AlertsDialog::load()
{
    const LiveSettings settings = LiveSettings::load(m_path);
    m_refreshEdit->setText(QString::number(settings.refreshSeconds));
    m_enabledBox->setChecked(settings.alertsEnabled);
    m_minPlayersEdit->setText(QString::number(settings.minPlayers));
    m_namesEdit->setText(settings.names.join(QStringLiteral(", ")));
}

void AlertsDialog::save()
{
    const std::variant<LiveSettings, QString> read = LiveSettings::fromTexts(
        m_refreshEdit->text(), m_enabledBox->isChecked(), m_minPlayersEdit->text(), m_namesEdit->text());
    if (const QString *problem = std::get_if<QString>(&read)) {
        showWarning(this, QStringLiteral("badSetting"), QStringLiteral("The alerts were not saved."), *problem);
        return;
    }
    const LiveSettings &settings = std::get<LiveSettings>(read);
    if (const common::Expected<common::Done> written = settings.save(m_path); !written.ok()) {
        showWarning(this, QStringLiteral("saveFailure"), QStringLiteral("The alerts could not be saved."),
                    QString::fromStdString(written.fault().message));
        return;
    }
    emit saved(settings);
    accept();
}
