// Watching end to end, on a private session bus with a tray: a real
// skirvane-queryd with a fake UT3 server behind it on 127.0.0.1, and a fake
// notification service that records what it is asked to show.
#include "app/desktop.h"
#include "app/watching.h"
#include "platform/browser.h"
#include "platform/notifications.h"
#include "platform/tray.h"
#include "support/testenvironment.h"
#include "windows/favouriteswindow.h"
#include "windows/mainwindow.h"

#include "fakeserver.h"
#include "files.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QLineEdit>
#include <QAction>
#include <QMenu>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <boost/asio/executor_work_guard.hpp>

#include <memory>
#include <thread>

namespace {

const QString BusName = QStringLiteral("org.freedesktop.Notifications");
const QString BusPath = QStringLiteral("/org/freedesktop/Notifications");
const std::string ServerName = "Watch Arena";
// Not a favourite: only the service knows it.
const std::string FarServerName = "Big Warfare";

// A UT3 server on 127.0.0.1 whose players can be changed while it runs.
struct GameServer
{
    explicit GameServer(std::string serverName)
        : name(std::move(serverName))
    {
    }
    const std::string name;
    boost::asio::io_context io;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work = boost::asio::make_work_guard(io);
    fakeut3::FakeServer server{io, fakeut3::sampleScript(name, "DM-Deck", 1)};
    std::thread thread{[this] { io.run(); }};

    ~GameServer()
    {
        io.stop();
        thread.join();
    }
    void setPlayers(const std::vector<std::string> &names)
    {
        fakeut3::Script script = fakeut3::sampleScript(name, "DM-Deck", int(names.size()));
        script.players[0].second = names;
        server.setScript(script);
    }
};

}

// The page's text as the user sees it now.
static QString pageText(QWebEngineView *view)
{
    // Kept alive for a callback that comes after the wait.
    const auto text = std::make_shared<std::optional<QString>>();
    view->page()->toPlainText([text](const QString &plain) { *text = plain; });
    QTest::qWaitFor([&] { return text->has_value(); }, 10000);
    return text->value_or(QString());
}

// Has the program ask again twice a second until `done`: a change on a game
// server reaches the service's cache and its history within a few seconds,
// and the test need not wait for the program's own refresh time.
template<class Done>
static bool askUntil(Watching &watching, Done done)
{
    QElapsedTimer since;
    since.start();
    watching.refresh();
    return QTest::qWaitFor(
        [&] {
            if (done())
                return true;
            if (since.elapsed() >= 500) {
                watching.refresh();
                since.restart();
            }
            return false;
        },
        20000);
}

// The desktop's notification service as far as the program uses it.
class FakeNotifications final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown
    {
        QString summary, body;
        QStringList actions;
    };
    QList<Shown> shown;

public slots:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &, int)
    {
        shown.append({summary, body, actions});
        return uint(shown.size());
    }
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
    void CloseNotification(uint) {}
};

class TestWatching final : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void notifiesOncePerEventAndActivationQueries();
    void friendOnAnotherServerIsNotifiedAndQueried();
    void showsLiveCounts();
    void withoutANotificationServiceFallsBack();
    void withoutATrayCtrlLOpensTheAlerts();

private:
    QProcess m_tray;
    QProcess m_service;
    std::unique_ptr<GameServer> m_game;
    std::unique_ptr<GameServer> m_far;
    QTemporaryDir m_folder;
    FakeNotifications m_notifications;
    std::unique_ptr<QDBusConnection> m_bus;
    std::unique_ptr<Desktop> m_desktop;
};

void TestWatching::initTestCase()
{
    QVERIFY2(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").contains("unix"), "run under dbus-run-session");
    // An XEmbed tray on the test's display.
    const QString trayer = QStandardPaths::findExecutable(QStringLiteral("trayer"));
    QVERIFY2(!trayer.isEmpty(), "trayer is not installed");
    m_tray.start(trayer, {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "64", "--height", "24"});
    QVERIFY(m_tray.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(Tray::available(), 10000);

    // The notification service on a connection of its own, as another program would be.
    m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake"));
    QVERIFY(m_bus->registerObject(BusPath, &m_notifications, QDBusConnection::ExportAllSlots));
    QVERIFY(m_bus->registerService(BusName));

    m_game = std::make_unique<GameServer>(ServerName);
    m_far = std::make_unique<GameServer>(FarServerName);
    m_service.setProcessChannelMode(QProcess::MergedChannels);
    // Polled often, so that who plays where reaches the player search soon.
    m_service.start(QStringLiteral(SKIRVANE_QUERYD), {"--listen", "127.0.0.1:0", "--cache-seconds", "1", "--poll-interval",
                                                      "2", "--db", m_folder.filePath("history.sqlite3")});
    QVERIFY(m_service.waitForStarted());
    QString log;
    QTRY_VERIFY_WITH_TIMEOUT((log += m_service.readAll()).contains('\n'), 20000);
    const QString port = log.section(QStringLiteral("listening on 127.0.0.1:"), 1).section('\n', 0, 0).trimmed();
    QVERIFY2(port.toInt() > 0, qPrintable(log));
    // Someone looked the far server up once; the service polls it from then on.
    QNetworkAccessManager network;
    QNetworkReply *lookup = network.get(QNetworkRequest(QUrl(
        QStringLiteral("http://127.0.0.1:%1/Skirvane/skirvane.php?serverip=127.0.0.1&serverqport=%2&serverwport=0&format=json")
            .arg(port)
            .arg(m_far->server.port()))));
    QTRY_VERIFY_WITH_TIMEOUT(lookup->isFinished(), 10000);
    QVERIFY2(lookup->readAll().contains("Big Warfare"), "the far server did not answer");
    delete lookup;

    // Slot 2 names the fake server; the program's settings are a test's own.
    qputenv("XDG_CONFIG_HOME", m_folder.filePath("config").toUtf8());
    QVERIFY(writeRaw(m_folder.filePath("ut3servers.ini"),
                     QStringLiteral("[SERVER]\r\nServerName2=Home & Away\r\nServerIP2=127.0.0.1\r\nServerPort2=%1\r\n"
                                    "Serverwport2=0\r\n").arg(m_game->server.port()).toUtf8()));
    QVERIFY(writeRaw(m_folder.filePath("skirvane.conf"),
                     "[live]\nrefreshSeconds=10\n[alerts]\nminPlayers=3\nnames=\"Zoë, Kai\"\n"));

    Deployment deployment = Deployment::built();
    deployment.mainQueryHost = "127.0.0.1:" + port;
    deployment.favoritesQueryHost = "localhost:" + port;
    m_desktop = std::make_unique<Desktop>(deployment, m_folder.path(), m_folder.path());
    m_desktop->program().showMain();
    // As the program starts it: once the start page, from the same service, is in.
    m_desktop->startWatchingAfterStartPage(m_folder.filePath("skirvane.conf"));
    QVERIFY(!m_desktop->watching());
    QTRY_VERIFY_WITH_TIMEOUT(m_desktop->watching(), Desktop::StartPageWaitMs - 1000);
}

void TestWatching::cleanupTestCase()
{
    m_desktop.reset();
    m_service.kill();
    m_service.waitForFinished();
    m_tray.kill();
    m_tray.waitForFinished();
}

void TestWatching::notifiesOncePerEventAndActivationQueries()
{
    Watching &watching = *m_desktop->watching();
    const auto line = [&] { return watching.model().favouriteLines().value(0); };
    // The first round sets the baseline: one player, below the minimum.
    QTRY_COMPARE_WITH_TIMEOUT(line(), QStringLiteral("Home & Away — 1/32 players — DM-Deck"), 20000);

    m_game->setPlayers({"Ann", "Bo", "Cy"});
    QVERIFY(askUntil(watching, [&] { return !m_notifications.shown.isEmpty(); }));
    QCOMPARE(m_notifications.shown.size(), 1);
    QCOMPARE(m_notifications.shown[0].summary, QStringLiteral("Home & Away has 3 players"));
    QCOMPARE(m_notifications.shown[0].body,
             QStringLiteral("Home &amp; Away — 3/32 players — DM-Deck\nPlayers: Ann, Bo, Cy"));
    QCOMPARE(m_notifications.shown[0].actions.value(0), QStringLiteral("default"));

    // Still full, and a watched name joins: one more, for the name only.
    m_game->setPlayers({"Ann", "Bo", "Cy", "zoë"});
    QVERIFY(askUntil(watching, [&] { return m_notifications.shown.size() >= 2; }));
    QCOMPARE(m_notifications.shown.size(), 2);
    QCOMPARE(m_notifications.shown[1].summary, QStringLiteral("zoë is playing on Watch Arena"));

    // Activating the first one queries the server in the main window.
    QDBusMessage activation = QDBusMessage::createSignal(BusPath, BusName, QStringLiteral("ActionInvoked"));
    activation << uint(1) << QStringLiteral("default");
    QVERIFY(m_bus->send(activation));
    MainWindow *main = m_desktop->program().mainWindow();
    QTRY_COMPARE(main->findChild<QLineEdit *>("Text3")->text(), QString::number(m_game->server.port()));
    QCOMPARE(main->findChild<QLineEdit *>("Text2")->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(main->findChild<QLineEdit *>("Text1")->text(), QStringLiteral("0"));
    QWebEngineView *view = main->findChild<Browser *>("WebBrowser1")->view();
    // The status page of the server, with the players the watch saw.
    const auto shows = [&] {
        const QString text = pageText(view);
        return text.contains(QString::fromStdString(ServerName)) && text.contains("zoë");
    };
    QTRY_VERIFY_WITH_TIMEOUT(shows(), 30000);
    QCOMPARE(m_notifications.shown.size(), 2);
}

// A watched name is looked for on every server the service knows.
void TestWatching::friendOnAnotherServerIsNotifiedAndQueried()
{
    m_far->setPlayers({"Ann", "KAI"});
    QVERIFY(askUntil(*m_desktop->watching(), [&] { return m_notifications.shown.size() >= 3; }));
    QCOMPARE(m_notifications.shown.size(), 3);
    QCOMPARE(m_notifications.shown[2].summary, QStringLiteral("KAI is playing on Big Warfare"));

    // In the tray's menu, below the favourites.
    QStringList menu;
    for (const QAction *action : m_desktop->watching()->tray()->menu()->actions())
        menu.append(action->text());
    QCOMPARE(menu.mid(1, 3), QStringList({"Friends online", "zoë — Watch Arena", "KAI — Big Warfare"}));

    QDBusMessage activation = QDBusMessage::createSignal(BusPath, BusName, QStringLiteral("ActionInvoked"));
    activation << uint(3) << QStringLiteral("default");
    QVERIFY(m_bus->send(activation));
    MainWindow *main = m_desktop->program().mainWindow();
    QTRY_COMPARE(main->findChild<QLineEdit *>("Text3")->text(), QString::number(m_far->server.port()));
    QCOMPARE(main->findChild<QLineEdit *>("Text2")->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(main->findChild<QLineEdit *>("Text1")->text(), QStringLiteral("0"));
    QWebEngineView *view = main->findChild<Browser *>("WebBrowser1")->view();
    QTRY_VERIFY_WITH_TIMEOUT(pageText(view).contains(QString::fromStdString(FarServerName)), 30000);
    QCOMPARE(m_notifications.shown.size(), 3);
}

void TestWatching::showsLiveCounts()
{
    Tray *tray = m_desktop->watching()->tray();
    QVERIFY(tray);
    const QString entry = QStringLiteral("Home && Away — 4/32 players — DM-Deck");
    QCOMPARE(tray->menu()->actions().value(0)->text(), entry);
    tray->menu()->popup(QPoint(200, 200));
    QVERIFY(QTest::qWaitForWindowExposed(tray->menu()));
    // Rendered by the menu itself, not taken from the screen.
    saveScreenshot(tray->menu()->grab(), "watch-tray-menu");
    tray->menu()->hide();

    FavouritesWindow *favourites = m_desktop->program().showFavourites();
    QVERIFY(QTest::qWaitForWindowExposed(favourites));
    auto *option = favourites->findChild<QAbstractButton *>("serverOpt(1)");
    QVERIFY(option->toolTip().contains("Home &amp; Away — 4/32 players — DM-Deck"));
    QCOMPARE(favourites->findChild<QAbstractButton *>("serverOpt(0)")->toolTip(),
             QStringLiteral("Selects the server to be Queried or Launched."));
    QToolTip::showText(option->mapToGlobal(QPoint(10, 10)), option->toolTip(), option);
    QTest::qWait(300);
    const QRect around(favourites->mapToGlobal(QPoint(0, 0)), QSize(820, 160));
    saveScreenshot(QGuiApplication::primaryScreen()->grabWindow(0, around.x(), around.y(), around.width(), around.height()),
                   "watch-option-tooltip");
    QToolTip::hideText();
    favourites->close();
}

// The desktop has no notification service: the program is told, to show a
// balloon from the tray instead.
void TestWatching::withoutANotificationServiceFallsBack()
{
    QVERIFY(m_bus->unregisterService(BusName));
    Notifications notifications;
    QSignalSpy unavailable(&notifications, &Notifications::unavailable);
    notifications.show("Full", "Players: A, B", 7);
    QTRY_COMPARE(unavailable.size(), 1);
    QCOMPARE(unavailable[0], QVariantList({"Full", "Players: A, B", 7}));
}

void TestWatching::withoutATrayCtrlLOpensTheAlerts()
{
    m_tray.kill();
    m_tray.waitForFinished();
    QTRY_VERIFY_WITH_TIMEOUT(!Tray::available(), 10000);
    const Deployment deployment = m_desktop->program().deployment();
    m_desktop = std::make_unique<Desktop>(deployment, m_folder.path(), m_folder.path());
    MainWindow *main = m_desktop->program().showMain();
    QVERIFY(!m_desktop->startWatching(m_folder.filePath("skirvane.conf"))->tray());
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main));
    QTest::keyClick(main, Qt::Key_L, Qt::ControlModifier);
    QWidget *dialog = nullptr;
    const auto alerts = [&] {
        for (QWidget *window : QApplication::topLevelWidgets())
            if (window->objectName() == "alerts" && window->isVisible())
                dialog = window;
        return dialog != nullptr;
    };
    QTRY_VERIFY(alerts());
    QCOMPARE(dialog->findChild<QLineEdit *>("names")->text(), QStringLiteral("Zoë, Kai"));
    saveScreenshot(dialog->grab(), "watch-alerts-dialog");

    // A bad value is named, and the file stays as it was.
    const QString path = m_folder.filePath("skirvane.conf");
    const QByteArray before = contentOf(path);
    dialog->findChild<QLineEdit *>("refreshSeconds")->setText("5");
    dialog->findChild<QLineEdit *>("minPlayers")->setText("4");
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->click();
    QMessageBox *box = nullptr;
    QTRY_VERIFY((box = dialog->findChild<QMessageBox *>("badSetting")) != nullptr);
    QVERIFY2(box->informativeText().contains("refresh time") && box->informativeText().contains("\"5\""),
             qPrintable(box->informativeText()));
    QCOMPARE(contentOf(path), before);
    QVERIFY(dialog->isVisible());
    dialog->close();
}

SKIRVANE_WINDOW_TEST_MAIN(TestWatching)
#include "tst_watching.moc"
