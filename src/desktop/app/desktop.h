#pragma once

#include "app/program.h"

#include <QObject>

#include <memory>

class Watching;

// The whole program: its windows, and the watching of the favourites once
// asked for, connected to each other. Neither knows the other; this is
// where they meet.
class Desktop final : public QObject
{
    Q_OBJECT
public:
    // As Program's.
    Desktop(Deployment deployment, QString soundFolder, QString favouritesFolder,
            std::unique_ptr<UrlOpener> opener = {}, std::unique_ptr<Sound> sound = {});
    ~Desktop() override;
    Q_DISABLE_COPY_MOVE(Desktop)

    Program &program() { return m_program; }

    // Watches the favourites with the settings in that file, from now on.
    Watching *startWatching(const QString &settingsPath);
    // The same once the main window's start page has loaded or failed to,
    // or StartPageWaitMs after the call at the latest: watching talks to the
    // desktop's bus and asks the service about every favourite, and the
    // start page comes first. Call after showing the main window.
    void startWatchingAfterStartPage(const QString &settingsPath);
    static constexpr int StartPageWaitMs = 5000;
    // Null until watching starts.
    Watching *watching() const { return m_watching.get(); }

private:
    void bringUpMain();

    Program m_program;
    std::unique_ptr<Watching> m_watching;
};
