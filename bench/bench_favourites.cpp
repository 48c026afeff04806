// Time to open the favourites window, as the main window's button opens it:
// from the call to Program::showFavourites() (the window built, placed by the
// main window, the favourites file read once) to
// the window's first expose. The main window is open, its start page loaded
// from a local server, as when a user opens the favourites. Each opening is
// closed and its window deleted before the next.
//
// Three favourites files lie in the executable's folder in turn:
//   normal  the file the window itself saves, all six slots filled
//   large   15 MiB of filler key lines in the file's section, then the saved
//           file, just under the size a favourites file may have: the whole
//           of it is read and scanned
//   line    one line of 1 MiB, without a line break
//
// It prints, as lines of key=value words, times in ms:
//   favourites_first_open_ms      the first opening in the process (normal file)
//   favourites_open_ms            call to first expose, per file
//   favourites_painted_ms         call to that expose handled: the window painted
//   favourites_window_remade      openings whose native window was made again
//                                 between show() and the first expose
//   favourites_steps_ms           the same opening step by step (medians)
//   favourites_browser_page_made  whether the blank browser made a page
//   favourites_read_ms            the file read on its own, as the window reads it
//   favourites_read_bytes_ms      of which the bytes from the file
//   favourites_read_parse_ms      and finding the values in them
//   browser_create_ms             a blank browser made on its own, not shown
//
//   xvfb-run -a bench_favourites [--rounds=20] [--timeout-ms=60000]

#include "pageserver.h"

#include "app/program.h"
#include "core/deployment.h"
#include "favourites/favouritesfile.h"
#include "favourites/profilereader.h"
#include "platform/browser.h"
#include "platform/browserengine.h"
#include "version.h"
#include "windows/favouriteswindow.h"
#include "windows/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPlatformSurfaceEvent>
#include <QPointer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWebEnginePage>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include <unistd.h>

namespace {

constexpr char Usage[] = "usage: %s [--rounds=<n>] [--timeout-ms=<ms>]\n";

constexpr qsizetype LargeFileBytes = 15 * 1024 * 1024;
constexpr qsizetype LongLineBytes = 1024 * 1024;

int timeoutMs = 60'000;

// One monotonic clock for every figure.
QElapsedTimer &benchClock()
{
    static QElapsedTimer timer;
    return timer;
}

qint64 nowNs()
{
    return benchClock().nsecsElapsed();
}

double msBetween(qint64 fromNs, qint64 toNs)
{
    return double(toNs - fromNs) / 1e6;
}

[[noreturn]] void fail(const QString &what)
{
    std::printf("error=%s\n", qPrintable(what));
    std::fflush(stdout);
    std::exit(1);
}

// Sees every event as it is delivered; notes when the watched window's
// first expose arrives and when its handling (the widgets painted and put
// on screen) has returned, and then ends the loop waiting for it. The window
// is followed by its widget: a window may get a new native window after it
// was shown (a browser in it can ask for one that can composite its page),
// and the one that counts is the one exposed.
class ClockedApplication final : public QApplication
{
public:
    using QApplication::QApplication;

    void watch(QWidget *window, QEventLoop *loop)
    {
        m_watched = window;
        m_loop = loop;
        m_arrivedNs = m_handledNs = 0;
        m_remade = 0;
    }
    qint64 arrivedNs() const { return m_arrivedNs; }
    qint64 handledNs() const { return m_handledNs; }
    bool seen() const { return m_handledNs != 0; }
    // How often the watched window's native window was thrown away between
    // show() and its first expose, to be made again.
    int remade() const { return m_remade; }

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (!m_watched || !receiver->isWindowType() || receiver != m_watched->windowHandle())
            return QApplication::notify(receiver, event);
        if (event->type() == QEvent::PlatformSurface
            && static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType()
                == QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
            ++m_remade;
        if (event->type() != QEvent::Expose || !static_cast<QWindow *>(receiver)->isExposed())
            return QApplication::notify(receiver, event);
        m_arrivedNs = nowNs();
        const bool result = QApplication::notify(receiver, event);
        m_handledNs = nowNs();
        m_watched = nullptr;
        if (m_loop)
            std::exchange(m_loop, nullptr)->quit();
        return result;
    }

private:
    QPointer<QWidget> m_watched;
    QEventLoop *m_loop = nullptr;
    qint64 m_arrivedNs = 0;
    qint64 m_handledNs = 0;
    int m_remade = 0;
};

ClockedApplication &app()
{
    return *static_cast<ClockedApplication *>(QCoreApplication::instance());
}

// Runs an event loop until done() says so; false on timeout.
bool runUntil(QEventLoop &loop, const std::function<bool()> &done)
{
    if (done())
        return true;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    while (!done() && timeout.isActive())
        loop.exec();
    return done();
}

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Waits for the first expose of a window just shown; the expose cannot have
// been delivered yet, as no event was processed since show().
void waitForExpose(QWidget *window, const char *what)
{
    QEventLoop loop;
    app().watch(window, &loop);
    if (!runUntil(loop, [] { return app().seen(); }))
        fail(QStringLiteral("the %1 was not exposed").arg(QLatin1String(what)));
}

// Closes the favourites window as its close box does and waits until it is
// deleted, then lets the display settle before the next opening.
void closeAndDelete(FavouritesWindow *window)
{
    QPointer<FavouritesWindow> alive(window);
    QEventLoop loop;
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    window->close();
    // A deletion asked for outside any event loop, as here, is carried out
    // only when asked for explicitly; the loops run below would leave it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!runUntil(loop, [&] { return alive.isNull(); }))
        fail(QStringLiteral("the favourites window was not deleted on closing"));
    settle(50);
}

struct Stats
{
    double median = 0, min = 0, max = 0;
};

Stats stats(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return {median, v.front(), v.back()};
}

void printStats(const char *key, const QString &file, const std::vector<double> &values)
{
    const Stats s = stats(values);
    std::printf("%s file=%s median=%.2f min=%.2f max=%.2f\n", key, qPrintable(file), s.median, s.min, s.max);
    std::fflush(stdout);
}

double medianOf(const std::vector<double> &values)
{
    return stats(values).median;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1").arg(path));
}

// All six slots filled, as a user who keeps favourites has them.
QByteArray normalFile()
{
    QStringList values;
    for (int slot = 1; slot <= FavouritesFile::SlotCount; ++slot) {
        values << QStringLiteral("{Zyr} Warfare server %1").arg(slot) << QStringLiteral("203.0.113.%1").arg(10 + slot)
               << QStringLiteral("%1").arg(6500 + slot) << QStringLiteral("%1").arg(8080 + slot);
    }
    return FavouritesFile::saveText(values);
}

QByteArray largeFile()
{
    const QByteArray tail = normalFile();
    QByteArray text;
    text.reserve(LargeFileBytes + 128);
    text += "[SERVER]\r\n";
    for (int i = 0; text.size() + tail.size() < LargeFileBytes; ++i) {
        text += "Note" + QByteArray::number(i).rightJustified(8, '0')
            + "=filler text of a favourites file that has grown over the years\r\n";
    }
    text += tail;
    return text;
}

QByteArray longLine()
{
    QByteArray text = "ServerName=";
    while (text.size() < LongLineBytes)
        text += "filler ";
    text.truncate(LongLineBytes);
    return text;
}

struct FileCase
{
    QString name;
    QByteArray bytes;
};

struct Opening
{
    double openMs;
    double paintedMs;
    bool remade; // its native window was made again before the first expose
};

// One opening through the registry, timed as the user sees it.
Opening openOnce(Program &registry)
{
    const qint64 calledNs = nowNs();
    FavouritesWindow *window = registry.showFavourites();
    waitForExpose(window, "favourites window");
    const Opening opening{msBetween(calledNs, app().arrivedNs()), msBetween(calledNs, app().handledNs()),
                          app().remade() > 0};
    closeAndDelete(window);
    return opening;
}

// The steps showFavourites() takes, one by one, for the step figures.
struct Steps
{
    std::vector<double> construct, load, show, toExpose, paint;
    bool pageMade = false;
};

void openInSteps(const Deployment &deployment, const QString &iniPath, Steps &steps)
{
    const qint64 t0 = nowNs();
    auto *window = new FavouritesWindow(deployment, iniPath);
    const qint64 t1 = nowNs();
    window->load();
    const qint64 t2 = nowNs();
    window->show();
    const qint64 t3 = nowNs();
    waitForExpose(window, "favourites window");
    steps.construct.push_back(msBetween(t0, t1));
    steps.load.push_back(msBetween(t1, t2));
    steps.show.push_back(msBetween(t2, t3));
    steps.toExpose.push_back(msBetween(t3, app().arrivedNs()));
    steps.paint.push_back(msBetween(app().arrivedNs(), app().handledNs()));
    // Whether the blank browser made a page on being shown; asking page()
    // would make one, so its children are looked at instead.
    steps.pageMade = steps.pageMade || window->findChild<QWebEnginePage *>();
    closeAndDelete(window);
}

}

int main(int argc, char *argv[])
{
    benchClock().start();
    int rounds = 20;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const QString value = arg.section(QLatin1Char('='), 1);
        bool ok = false;
        if (arg.startsWith(QLatin1String("--rounds=")))
            rounds = value.toInt(&ok);
        else if (arg.startsWith(QLatin1String("--timeout-ms=")))
            timeoutMs = value.toInt(&ok);
        if (!ok || rounds < 1 || timeoutMs < 1) {
            std::fprintf(stderr, Usage, argv[0]);
            return 2;
        }
    }

    BrowserEngine::prepareUnattended();

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    ClockedApplication application(argc, argv);
    application.setApplicationName(QStringLiteral("Skirvane"));
    application.setApplicationVersion(QString::fromLatin1(Version::Text));

    // The main window's start page comes from a thread of this process, so
    // that serving it does not hold up the window being measured.
    QThread serverThread;
    auto *server = new PageServer;
    server->moveToThread(&serverThread);
    QObject::connect(&serverThread, &QThread::finished, server, &QObject::deleteLater);
    serverThread.start();
    bool listening = false;
    QMetaObject::invokeMethod(server, &PageServer::start, Qt::BlockingQueuedConnection, &listening);
    if (!listening)
        fail(QStringLiteral("no local port to serve on"));
    const QString host = server->host();
    std::printf("host=%s\n", qPrintable(host));

    // Nothing leaves the machine, whatever this build was configured with.
    Deployment deployment = Deployment::built();
    deployment.mainQueryHost = deployment.favoritesQueryHost = deployment.siteHost = host;
    deployment.presetServerIp = deployment.adminHost = QStringLiteral("127.0.0.1");

    QTemporaryDir folder;
    if (!folder.isValid())
        fail(QStringLiteral("no temporary folder"));
    const QString iniPath = FavouritesFile::iniPath(folder.path());

    const std::vector<FileCase> files = {
        {QStringLiteral("normal"), normalFile()},
        {QStringLiteral("large"), largeFile()},
        {QStringLiteral("line"), longLine()},
    };

    {
        Program registry(deployment, folder.path(), folder.path());

        // The main window as the user has it before opening the favourites:
        // shown, its start page loaded, the engine's helpers running.
        bool loaded = false;
        MainWindow *main = registry.showMain();
        const Browser *mainBrowser = main->findChild<Browser *>(QStringLiteral("WebBrowser1"));
        QObject::connect(mainBrowser, &Browser::loadFinished, &application, [&](bool ok) {
            if (!ok)
                fail(QStringLiteral("the start page did not load from %1").arg(host));
            loaded = true;
        });
        waitForExpose(main, "main window");
        QEventLoop loop;
        QObject::connect(mainBrowser, &Browser::loadFinished, &loop, &QEventLoop::quit);
        if (!runUntil(loop, [&] { return loaded; }))
            fail(QStringLiteral("the start page did not load"));
        settle(500);

        // The first opening also pays for what later ones find ready (styles,
        // fonts, the window picture); it is what the user meets first.
        writeFile(iniPath, files.front().bytes);
        const Opening first = openOnce(registry);
        std::printf("favourites_first_open_ms=%.2f painted=%.2f window_remade=%s\n", first.openMs, first.paintedMs,
                    first.remade ? "yes" : "no");

        for (const FileCase &file : files) {
            writeFile(iniPath, file.bytes);
            std::printf("favourites_file file=%s bytes=%lld\n", qPrintable(file.name), qlonglong(file.bytes.size()));

            std::vector<double> open, painted;
            int remade = 0;
            for (int i = 0; i < rounds; ++i) {
                const Opening o = openOnce(registry);
                open.push_back(o.openMs);
                painted.push_back(o.paintedMs);
                remade += o.remade;
            }
            printStats("favourites_open_ms", file.name, open);
            printStats("favourites_painted_ms", file.name, painted);
            std::printf("favourites_window_remade file=%s openings=%d of %d\n", qPrintable(file.name), remade, rounds);

            Steps steps;
            for (int i = 0; i < rounds; ++i)
                openInSteps(deployment, iniPath, steps);
            std::printf("favourites_steps_ms file=%s construct=%.2f load=%.2f show=%.2f to_expose=%.2f paint=%.2f\n",
                        qPrintable(file.name), medianOf(steps.construct), medianOf(steps.load), medianOf(steps.show),
                        medianOf(steps.toExpose), medianOf(steps.paint));
            std::printf("favourites_browser_page_made file=%s %s\n", qPrintable(file.name), steps.pageMade ? "yes" : "no");

            std::vector<double> read;
            for (int i = 0; i < rounds; ++i) {
                const qint64 t0 = nowNs();
                const common::Expected<QStringList> loadedFile = FavouritesFile::load(iniPath);
                read.push_back(msBetween(t0, nowNs()));
                if (file.name != QLatin1String("line") && (!loadedFile || loadedFile->last().isEmpty()))
                    fail(QStringLiteral("the %1 file read without its values").arg(file.name));
            }
            printStats("favourites_read_ms", file.name, read);

            // The read in its two parts: the bytes from the file, and finding
            // the values in them.
            std::vector<double> bytes, parse;
            for (int i = 0; i < rounds; ++i) {
                const qint64 t0 = nowNs();
                QFile f(iniPath);
                if (!f.open(QIODevice::ReadOnly))
                    fail(QStringLiteral("cannot read %1").arg(iniPath));
                const QByteArray text = f.readAll();
                const qint64 t1 = nowNs();
                const ProfileReader reader = ProfileReader::read(text, FavouritesFile::profileKeys());
                const qint64 t2 = nowNs();
                bytes.push_back(msBetween(t0, t1));
                parse.push_back(msBetween(t1, t2));
            }
            printStats("favourites_read_bytes_ms", file.name, bytes);
            printStats("favourites_read_parse_ms", file.name, parse);
        }

        // A blank browser on its own, made as the window makes it: a child
        // of a window not yet shown.
        std::vector<double> browser;
        for (int i = 0; i < rounds; ++i) {
            QWidget parent;
            const qint64 t0 = nowNs();
            auto *b = new Browser(&parent);
            browser.push_back(msBetween(t0, nowNs()));
            Q_UNUSED(b);
        }
        const Stats b = stats(browser);
        std::printf("browser_create_ms median=%.2f min=%.2f max=%.2f\n", b.median, b.min, b.max);
        std::fflush(stdout);
    }

    // A socket notifier belongs to its thread: the server ends there.
    serverThread.quit();
    serverThread.wait();
    return 0;
}
