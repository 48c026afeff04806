#pragma once

#include <QObject>
#include <QStringList>
#include <QSystemTrayIcon>

class QAction;
class QMenu;

// The program's icon in the desktop's tray, with a menu of entries above
// "Show Skirvane", "Alerts…" and "Quit". Exists only where the desktop has
// a tray.
class Tray final : public QObject
{
    Q_OBJECT
public:
    static bool available();

    explicit Tray(const QIcon &icon, QObject *parent = nullptr);
    ~Tray() override;
    Q_DISABLE_COPY_MOVE(Tray)

    // The entries, as plain text, in the menu and, one a line, in the tooltip.
    void setEntries(const QStringList &entries);
    // A balloon message; clicking it gives messageClicked(key).
    void showMessage(const QString &title, const QString &body, int key);

    QMenu *menu() const { return m_menu; }

signals:
    void entryChosen(int index);
    void showRequested();
    void alertsRequested();
    void quitRequested();
    void messageClicked(int key);

private:
    QMenu *const m_menu;
    QSystemTrayIcon m_icon;
    QList<QAction *> m_entries;
    QAction *m_firstFixed = nullptr; // entries go above it
    int m_messageKey = -1;
};
