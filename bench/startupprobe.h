#pragma once

#include <QString>

#include <memory>
#include <optional>

class PageServer;
class QApplication;
class QThread;
class QWebEngineView;
class QWindow;

// The measuring around one start of a program. Each measured program's
// main() makes a probe first thing, then its application and its window
// with a browser on pageHost()'s start page, and hands both to run(). The
// probe prints, as key=value lines on standard output:
//   main_ms       origin to main() entered (loading the libraries)
//   app_ms        origin to the application made (markApplication())
//   built_ms      origin to the windows made and asked to show (markBuilt())
//   shown_ms      origin to the first expose of the window
//   loaded_ms     origin to loadFinished of the browser
// and after a settle time once the page has loaded:
//   pss_kib       proportional memory of this process and all its descendants
//   pss_self_kib  the same of this process alone
//   uss_kib       private memory of this process and all its descendants
//   processes     how many processes were counted
//   libraries     shared libraries mapped into this process
//   other_browser_processes  browser helpers of other programs running then
// The origin is the launcher's wall-clock reading (--origin-us) if given,
// else the process's creation time from the kernel (10 ms resolution).
class StartupProbe final
{
public:
    StartupProbe(); // reads the clock: construct first in main()
    ~StartupProbe();
    StartupProbe(const StartupProbe &) = delete;
    StartupProbe &operator=(const StartupProbe &) = delete;

    // Reads the arguments and prepares the browser engine's environment.
    // Returns the status main() ends with when there is nothing to measure:
    // bad arguments, or --serve, which serves the start page until killed.
    std::optional<int> begin(int &argc, char **argv, const QString &mode);

    // Where the start page is served: --host, else a server on a thread of
    // this process (then counted in its memory). Needs the application.
    QString pageHost();

    // The stages between main() and the event loop, as each ends.
    void markApplication();
    void markBuilt();

    // Waits for the window's first expose and the browser's first
    // loadFinished, prints the figures, and returns the exit status.
    int run(QApplication &app, QWindow *window, QWebEngineView *browser);

private:
    void stopOwnServer();

    const qint64 m_mainUs;
    qint64 m_originUs = 0;
    QString m_host;
    int m_settleMs = 500;
    int m_timeoutMs = 60'000;
    std::unique_ptr<QThread> m_serverThread;
    std::unique_ptr<PageServer> m_ownServer;
};
