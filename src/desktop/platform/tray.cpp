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
    m_friendsPart = m_menu->addSection(QStringLiteral("Friends online"));
    m_friendsPart->setVisible(false);
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

void Tray::setEntries(const QStringList &entries, const QStringList &friends)
{
    fill(m_entries, entries, m_friendsPart, &Tray::entryChosen);
    fill(m_friends, friends, m_firstFixed, &Tray::friendChosen);
    m_friendsPart->setVisible(!friends.isEmpty());
    m_firstFixed->setVisible(!entries.isEmpty() || !friends.isEmpty());
    QStringList lines{QStringLiteral("Skirvane")};
    lines += entries;
    if (!friends.isEmpty())
        lines += QStringLiteral("Friends online: ") + friends.join(QStringLiteral(", "));
    m_icon.setToolTip(plainLinesAsRichText(lines));
}

void Tray::fill(QList<QAction *> &actions, const QStringList &texts, QAction *before, void (Tray::*chosen)(int))
{
    while (actions.size() > texts.size())
        delete actions.takeLast();
    while (actions.size() < texts.size()) {
        auto *action = new QAction(m_menu);
        m_menu->insertAction(before, action);
        connect(action, &QAction::triggered, this,
                [this, chosen, index = int(actions.size())] { emit(this->*chosen)(index); });
        actions.append(action);
    }
    for (qsizetype i = 0; i < texts.size(); ++i) {
        QString text = texts[i];
        actions[i]->setText(text.replace(QLatin1Char('&'), QLatin1String("&&"))); // "&" would mark a shortcut letter
    }
}

void Tray::showMessage(const QString &title, const QString &body, int key)
{
    m_messageKey = key;
    m_icon.showMessage(title, body, QSystemTrayIcon::Information);
}
