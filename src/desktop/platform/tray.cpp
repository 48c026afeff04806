#include "platform/tray.h"

#include "platform/richtext.h"

#include <QMenu>

bool Tray::available()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

Tray::Tray(const QIcon &icon, QObject *parent)
    : QObject(parent)
    , m_menu(new QMenu)
    , m_icon(icon)
{
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    m_firstFixed = m_menu->addSeparator();
    connect(m_menu->addAction(QStringLiteral("Show Skirvane")), &QAction::triggered, this, &Tray::showRequested);
    connect(m_menu->addAction(QStringLiteral("Alerts…")), &QAction::triggered, this, &Tray::alertsRequested);
    connect(m_menu->addAction(QStringLiteral("Quit")), &QAction::triggered, this, &Tray::quitRequested);
    m_icon.setContextMenu(m_menu);
    m_icon.setToolTip(QStringLiteral("Skirvane"));
    connect(&m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            emit showRequested();
    });
    connect(&m_icon, &QSystemTrayIcon::messageClicked, this, [this] { emit messageClicked(m_messageKey); });
    m_icon.show();
}

Tray::~Tray()
{
    delete m_menu;
}

void Tray::setEntries(const QStringList &entries)
{
    // Entries are renamed rather than made again, so that an open menu stays as it is.
    while (m_entries.size() > entries.size())
        delete m_entries.takeLast();
    while (m_entries.size() < entries.size()) {
        auto *entry = new QAction(m_menu);
        m_menu->insertAction(m_firstFixed, entry);
        connect(entry, &QAction::triggered, this, [this, index = int(m_entries.size())] { emit entryChosen(index); });
        m_entries.append(entry);
    }
    for (qsizetype i = 0; i < entries.size(); ++i) {
        QString text = entries[i];
        m_entries[i]->setText(text.replace(QLatin1Char('&'), QLatin1String("&&"))); // "&" would mark a shortcut letter
    }
    m_firstFixed->setVisible(!entries.isEmpty());
    m_icon.setToolTip(plainLinesAsRichText(QStringList{QStringLiteral("Skirvane")} + entries));
}

void Tray::showMessage(const QString &title, const QString &body, int key)
{
    m_messageKey = key;
    m_icon.showMessage(title, body, QSystemTrayIcon::Information);
}
