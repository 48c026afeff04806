#pragma once

#include <QObject>
#include <QStringList>
#include <QSystemTrayIcon>

class QAction;
class QMenu;

// The program's icon in the desktop's tray, with a menu of entries, then a
// "Friends online" part when there are any, above "Show Skirvane",
// "Alerts…" and "Quit". Exists only where the desktop has a tray.
class Tray final : public QObject
{
    Q_OBJECT
public:
    static bool available();

    explicit Tray(const QIcon &icon, QObject *parent = nullptr);
    ~Tray() override;
    Q_DISABLE_COPY_MOVE(Tray)

    // The entries and the friends online, as plain text, in the menu and,
    // one a line, in the tooltip.
    void setEntries(const QStringList &entries, const QStringList &friends = {});
    // A balloon message; clicking it gives messageClicked(key).
    void showMessage(const QString &title, const QString &body, int key);

    QMenu *menu() const { return m_menu; }

signals:
    void entryChosen(int index);
    void friendChosen(int index);
    void showRequested();
    void alertsRequested();
    void quitRequested();
    void messageClicked(int key);

private:
    QMenu *const m_menu;
    QSystemTrayIcon m_icon;
    // Renamed rather than made again, so that an open menu stays as it is.
    void fill(QList<QAction *> &actions, const QStringList &texts, QAction *before, void (Tray::*chosen)(int));

    QList<QAction *> m_entries;
    QAction *m_friendsPart = nullptr; // the friends go below it
    QList<QAction *> m_friends;
    QAction *m_firstFixed = nullptr; // entries and friends go above it
    int m_messageKey = -1;
};
