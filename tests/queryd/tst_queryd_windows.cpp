// Skirvane's windows pointed at the running query service, with a fake UT3
// server behind it: "Begin Query" shows that server's status page. Controls
// are found by their object names only.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>

#include "servicethread.h"
#include "support/testenvironment.h"
#include "app/program.h"
#include "platform/browser.h"

namespace {

const QString ServerName = QStringLiteral("Window Test Arena");

// The page's text as the user sees it, once it holds what is expected.
bool pageShows(QWebEngineView *browser, const QString &text, int timeoutMs = 30000)
{
    // The page's text arrives later, so one question is open at a time, and
    // an answer that comes after the wait writes only into what it shares.
    struct Asked {
        QString shown;
        bool open = false;
    };
    const auto asked = std::make_shared<Asked>();
    const bool shows = QTest::qWaitFor([&] {
        if (!asked->open) {
            asked->open = true;
            browser->page()->toPlainText([asked](const QString &plain) {
                asked->shown = plain;
                asked->open = false;
            });
        }
        return asked->shown.contains(text);
    }, timeoutMs);
    if (!shows)
        qWarning() << "the page shows:" << asked->shown.left(400);
    return shows;
}

// The script's value; invalid when the page gave none in time.
QVariant evaluate(QWebEngineView *browser, const QString &script)
{
    QVariant value;
    bool done = false;
    browser->page()->runJavaScript(script, [&](const QVariant &v) {
        value = v;
        done = true;
    });
    return QTest::qWaitFor([&] { return done; }, 10000) ? value : QVariant();
}

// The window's web view, made by the browser on its first navigation.
QWebEngineView *webView(QWidget *window)
{
    auto *browser = window->findChild<Browser *>(QStringLiteral("WebBrowser1"));
    const bool made = browser && QTest::qWaitFor([browser] { return browser->view() != nullptr; }, 10000);
    return made ? browser->view() : nullptr;
}

QWidget *topLevel(const QString &objectName)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == objectName && w->isVisible())
            return w;
    return nullptr;
}

}

class TestQuerydWindows final : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void mainWindowShowsTheStatusPage();
    void favouritesWindowShowsTheStatusPage();
    void statusPageRefreshesInPlace();

private:
    void beginQuery();

    std::unique_ptr<ServiceThread> m_service;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<Program> m_program;
    QWidget *m_main = nullptr;
};

void TestQuerydWindows::init()
{
    // Quick refreshes only where they are the subject.
    const bool refreshing = QByteArray(QTest::currentTestFunction()) == "statusPageRefreshesInPlace";
    m_service = std::make_unique<ServiceThread>(ServerName.toStdString(), 24, refreshing ? 1 : 15);
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    // Slot 1 of the favourites names the fake server.
    QFile ini(m_folder->filePath(QStringLiteral("ut3servers.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[SERVER]\r\nServerName=Fake\r\nServerIP=127.0.0.1\r\nServerPort=%1\r\nServerwport=0\r\n")
                  .arg(m_service->gamePort())
                  .toLatin1());
    ini.close();

    Deployment deployment = Deployment::built();
    deployment.mainQueryHost = QStringLiteral("127.0.0.1:%1").arg(m_service->httpPort());
    deployment.favoritesQueryHost = QStringLiteral("localhost:%1").arg(m_service->httpPort());
    m_program = std::make_unique<Program>(deployment, m_folder->path(), m_folder->path());
    m_program->showMain();
    QTRY_VERIFY((m_main = topLevel(QStringLiteral("frmmain"))) != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(m_main));
}

void TestQuerydWindows::cleanup()
{
    m_program.reset();
    m_folder.reset();
    m_service.reset();
}

// The fake server typed into the main window, then "Begin Query".
void TestQuerydWindows::beginQuery()
{
    m_main->findChild<QLineEdit *>(QStringLiteral("Text2"))->setText(QStringLiteral("127.0.0.1"));
    m_main->findChild<QLineEdit *>(QStringLiteral("Text3"))->setText(QString::number(m_service->gamePort()));
    m_main->findChild<QLineEdit *>(QStringLiteral("Text1"))->setText(QStringLiteral("0"));
    QTest::mouseClick(m_main->findChild<QAbstractButton *>(QStringLiteral("Command1")), Qt::LeftButton);
}

void TestQuerydWindows::mainWindowShowsTheStatusPage()
{
    auto *browser = webView(m_main);
    QVERIFY(browser);
    QVERIFY(pageShows(browser, QStringLiteral("query port, not the game port 7777")));

    beginQuery();

    QVERIFY(pageShows(browser, ServerName));
    QVERIFY(pageShows(browser, QStringLiteral("Player24")));
    QVERIFY(m_service->gameRequestsSeen() > 0);
    QDir().mkpath(QStringLiteral(SKIRVANE_SCREENSHOT_DIR));
    m_main->grab().save(QStringLiteral(SKIRVANE_SCREENSHOT_DIR "/queryd-status-main.png"));
}

void TestQuerydWindows::favouritesWindowShowsTheStatusPage()
{
    QTest::mouseClick(m_main->findChild<QLabel *>(QStringLiteral("LabelFavs")), Qt::LeftButton);
    QWidget *favourites = nullptr;
    QTRY_VERIFY((favourites = topLevel(QStringLiteral("Form2"))) != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(favourites));

    QTest::mouseClick(favourites->findChild<QAbstractButton *>(QStringLiteral("serverOpt(0)")), Qt::LeftButton);
    QTest::mouseClick(favourites->findChild<QAbstractButton *>(QStringLiteral("Command2")), Qt::LeftButton);

    auto *browser = webView(favourites);
    QVERIFY(browser);
    QVERIFY(pageShows(browser, ServerName));
    favourites->grab().save(QStringLiteral(SKIRVANE_SCREENSHOT_DIR "/queryd-status-favourites.png"));
}

// The page fetches itself again and swaps its body: no new navigation (no
// blank moment), the scroll position and an opened section stay; nothing
// scrolls sideways in the window's browser area.
void TestQuerydWindows::statusPageRefreshesInPlace()
{
    auto *browser = webView(m_main);
    beginQuery();
    QVERIFY(pageShows(browser, ServerName));

    evaluate(browser, QStringLiteral("document.getElementById('raw-keys').open = true; window.scrollTo(0, 300); 0"));
    const int scrolled = evaluate(browser, QStringLiteral("window.scrollY")).toInt();
    QVERIFY(scrolled > 0);

    int navigations = 0;
    connect(browser, &QWebEngineView::loadStarted, this, [&navigations] { ++navigations; });
    // A name far wider than the window wraps instead of widening the page.
    m_service->renameServer("Renamed Arena " + std::string(1000, 'W'));
    QVERIFY(pageShows(browser, QStringLiteral("Renamed Arena"), 15000));
    QCOMPARE(navigations, 0);
    QCOMPARE(evaluate(browser, QStringLiteral("document.documentElement.scrollWidth <= window.innerWidth")).toBool(),
             true);
    QCOMPARE(evaluate(browser, QStringLiteral("window.scrollY")).toInt(), scrolled);
    QCOMPARE(evaluate(browser, QStringLiteral("document.getElementById('raw-keys').open")).toBool(), true);
}

SKIRVANE_WINDOW_TEST_MAIN(TestQuerydWindows)
#include "tst_queryd_windows.moc"
