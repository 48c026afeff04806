#include "startupprobe.h"

#include "pageserver.h"
#include "procfs.h"
#include "startclock.h"

#include "platform/browserengine.h"

#include <QApplication>
#include <QThread>
#include <QTimer>
#include <QWebEngineView>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include <unistd.h>

namespace {

constexpr char Usage[] = "usage: %s [--host=127.0.0.1:<port>] [--origin-us=<wall clock us>]\n"
                         "          [--settle-ms=<ms>] [--timeout-ms=<ms>]\n"
                         "       %s --serve\n";

void print(const char *key, const QString &value)
{
    std::printf("%s=%s\n", key, qPrintable(value));
    std::fflush(stdout);
}

QString msBetween(qint64 fromUs, qint64 toUs)
{
    return QString::number(double(toUs - fromUs) / 1000.0, 'f', 1);
}

// Calls back once, on the first expose of a window.
class FirstExpose final : public QObject
{
public:
    FirstExpose(QWindow *window, std::function<void()> onExposed)
        : QObject(window)
        , m_onExposed(std::move(onExposed))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            m_onExposed();
        }
        return false;
    }

private:
    std::function<void()> m_onExposed;
};

int serve(int &argc, char **argv)
{
    QCoreApplication app(argc, argv);
    PageServer server;
    if (!server.start()) {
        print("error", QStringLiteral("no local port to serve on"));
        return 1;
    }
    print("host", server.host());
    return app.exec();
}

}

StartupProbe::StartupProbe()
    : m_mainUs(StartClock::nowUs())
{
}

StartupProbe::~StartupProbe()
{
    stopOwnServer();
}

std::optional<int> StartupProbe::begin(int &argc, char **argv, const QString &mode)
{
    std::optional<qint64> launcherOriginUs;
    bool serving = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const QString value = arg.section(QLatin1Char('='), 1);
        bool ok = true;
        if (arg == QLatin1String("--serve"))
            serving = true;
        else if (arg.startsWith(QLatin1String("--host=")))
            m_host = value;
        else if (arg.startsWith(QLatin1String("--origin-us=")))
            launcherOriginUs = value.toLongLong(&ok);
        else if (arg.startsWith(QLatin1String("--settle-ms=")))
            m_settleMs = value.toInt(&ok);
        else if (arg.startsWith(QLatin1String("--timeout-ms=")))
            m_timeoutMs = value.toInt(&ok);
        else
            ok = false;
        if (!ok) {
            std::fprintf(stderr, Usage, argv[0], argv[0]);
            return 2;
        }
    }
    if (serving)
        return serve(argc, argv);

    const std::optional<qint64> originUs = launcherOriginUs ? launcherOriginUs : StartClock::processStartUs();
    if (!originUs) {
        print("error", QStringLiteral("no start time: pass --origin-us"));
        return 2;
    }
    m_originUs = *originUs;
    print("mode", mode);
    print("origin", launcherOriginUs ? QStringLiteral("launcher") : QStringLiteral("process-creation"));
    print("main_ms", msBetween(m_originUs, m_mainUs));

    BrowserEngine::prepareUnattended();
    return std::nullopt;
}

void StartupProbe::markApplication()
{
    print("app_ms", msBetween(m_originUs, StartClock::nowUs()));
}

void StartupProbe::markBuilt()
{
    print("built_ms", msBetween(m_originUs, StartClock::nowUs()));
}

QString StartupProbe::pageHost()
{
    if (!m_host.isEmpty())
        return m_host;
    m_serverThread = std::make_unique<QThread>();
    m_ownServer = std::make_unique<PageServer>();
    m_ownServer->moveToThread(m_serverThread.get());
    m_serverThread->start();
    bool listening = false;
    QMetaObject::invokeMethod(m_ownServer.get(), &PageServer::start, Qt::BlockingQueuedConnection, &listening);
    if (!listening) {
        print("error", QStringLiteral("no local port to serve on"));
        std::exit(1);
    }
    m_host = m_ownServer->host();
    print("server", QStringLiteral("in-process"));
    return m_host;
}

void StartupProbe::stopOwnServer()
{
    if (!m_ownServer)
        return;
    // A socket notifier belongs to its thread: end the server there.
    QMetaObject::invokeMethod(m_ownServer.get(), [this] { m_ownServer.reset(); }, Qt::BlockingQueuedConnection);
    m_serverThread->quit();
    m_serverThread->wait();
}

int StartupProbe::run(QApplication &app, QWindow *window, QWebEngineView *browser)
{
    bool shown = false;
    bool loaded = false;
    const auto settleThenMeasure = [&] {
        if (!shown || !loaded)
            return;
        QTimer::singleShot(m_settleMs, &app, [&] {
            const Procfs::TreeMemory memory = Procfs::measureTree(::getpid());
            print("pss_kib", QString::number(memory.total.pssKib));
            print("pss_self_kib", QString::number(memory.root.pssKib));
            print("uss_kib", QString::number(memory.total.ussKib));
            print("processes", QString::number(memory.processes));
            print("libraries", QString::number(Procfs::mappedLibraries(::getpid())));
            print("other_browser_processes", QString::number(memory.otherBrowserProcesses));
            if (memory.unreadable > 0)
                print("unreadable", QString::number(memory.unreadable));
            app.exit(0);
        });
    };
    const auto onExposed = [&] {
        print("shown_ms", msBetween(m_originUs, StartClock::nowUs()));
        shown = true;
        settleThenMeasure();
    };
    // The page started loading when the browser was made; it cannot finish
    // before the event loop runs, so connecting now misses nothing.
    QObject::connect(browser, &QWebEngineView::loadFinished, &app, [&](bool ok) {
        if (loaded)
            return;
        if (!ok) {
            print("error", QStringLiteral("the start page did not load from %1").arg(m_host));
            app.exit(1);
            return;
        }
        print("loaded_ms", msBetween(m_originUs, StartClock::nowUs()));
        loaded = true;
        settleThenMeasure();
    });
    QTimer::singleShot(m_timeoutMs, &app, [&] {
        print("error", QStringLiteral("timed out: shown=%1 loaded=%2").arg(shown).arg(loaded));
        app.exit(1);
    });

    if (window->isExposed())
        onExposed();
    else
        new FirstExpose(window, onExposed);
    const int status = app.exec();
    stopOwnServer();
    return status;
}
