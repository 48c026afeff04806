#include "app/program.h"
#include "platform/browser.h"
#include "platform/progressbar.h"
#include "platform/timer.h"
#include "platform/urlopener.h"
#include "showwindow.h"
#include "support/localhttpserver.h"
#include "support/testenvironment.h"
#include "windows/aboutwindow.h"
#include "windows/linklabel.h"
#include "windows/mainwindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

const QString QueryPath = QStringLiteral("/Zyr/Skirvane/skirvane.php");
const QString StartPath = QStringLiteral("/Zyr/04query.html");
const QString PresetIp = QStringLiteral("192.0.2.10"); // only ever sent as text to the local server

// Keeps the addresses instead of opening anything.
class RecordingOpener final : public UrlOpener
{
public:
    explicit RecordingOpener(QStringList &addresses)
        : m_addresses(addresses)
    {
    }
    common::Expected<common::Done> open(const QString &address) override
    {
        m_addresses += address;
        return common::Done{};
    }

private:
    QStringList &m_addresses;
};

// The address, query port and web port a query sent.
QStringList sent(const LocalHttpServer::Request &r)
{
    QStringList values;
    for (const char *key : {"serverip", "serverqport", "serverwport"})
        values += r.query.queryItemValue(QString::fromLatin1(key), QUrl::FullyDecoded);
    return values;
}

}

// The main window for real: a real browser engine talking to a local server.
class TestMainWindow final : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opensAsDesigned();
    void beginQuerySendsOneRequest_data();
    void beginQuerySendsOneRequest();
    void theKeyboardPicksAsWell();
    void typingIntoTheChooserChangesNoBox();
    void linksOpenPagesAndTheAboutWindow();

private:
    void pick(int listIndex);
    // The address, query port and web port boxes as they read.
    QStringList boxes() const
    {
        return {control<QLineEdit>(m_window, "Text2")->text(), control<QLineEdit>(m_window, "Text3")->text(),
                control<QLineEdit>(m_window, "Text1")->text()};
    }

    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<Program> m_program;
    MainWindow *m_window = nullptr;
    QStringList m_opened; // pages handed to the desktop's browser
};

void TestMainWindow::init()
{
    m_server = std::make_unique<LocalHttpServer>();
    QVERIFY(m_server->start());
    Deployment deployment = Deployment::built();
    deployment.mainQueryHost = m_server->host();
    deployment.presetServerIp = PresetIp;
    m_opened.clear();
    const QString folder = QCoreApplication::applicationDirPath();
    m_program = std::make_unique<Program>(deployment, folder, folder, std::make_unique<RecordingOpener>(m_opened));
    m_window = m_program->showMain();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QVERIFY(m_server->waitForRequests(StartPath, 1, 20000));
}

void TestMainWindow::cleanup()
{
    m_program.reset();
    m_server.reset();
}

void TestMainWindow::pick(int listIndex)
{
    // A pick from the open list with the mouse, as a user makes it.
    QComboBox *combo = control<QComboBox>(m_window, "Combo2");
    combo->showPopup();
    QAbstractItemView *list = combo->view();
    QTRY_VERIFY(list->isVisible());
    const QRect item = list->visualRect(list->model()->index(listIndex, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    QTRY_VERIFY(!list->isVisible());
}

void TestMainWindow::opensAsDesigned()
{
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Skirvane v{Zyr}1.1 by: Orlen"));
    QCOMPARE(control<QComboBox>(m_window, "Combo2")->currentText(), QStringLiteral("Server IP"));
    QCOMPARE(control<QComboBox>(m_window, "Combo2")->currentIndex(), -1);
    QCOMPARE(control<QComboBox>(m_window, "Combo2")->count(), 2);
    QCOMPARE(control<QComboBox>(m_window, "Combo2")->itemText(0), QStringLiteral("{Zyr}"));
    QCOMPARE(control<QComboBox>(m_window, "Combo2")->itemText(1), QStringLiteral("Custom"));
    QCOMPARE(boxes(), (QStringList{QString(), "Query Port", "Server Web Port"}));
    QCOMPARE(control<QPushButton>(m_window, "Command1")->text(), QStringLiteral("Begin Query"));
    QCOMPARE(control<ProgressBar>(m_window, "pg")->value(), 0.0f);
    QVERIFY(!control<ProgressBar>(m_window, "pg")->isTextVisible());
    QVERIFY(!control<Timer>(m_window, "Timer1")->isEnabled());
    QCOMPARE(control<Timer>(m_window, "Timer1")->interval(), 100);
    QCOMPARE(m_server->requestsFor(StartPath).size(), 1);
    QCOMPARE(m_server->requestsFor(QueryPath).size(), 0);
}

void TestMainWindow::beginQuerySendsOneRequest_data()
{
    QTest::addColumn<int>("preset"); // the chooser's pick; -1: none
    QTest::addColumn<QStringList>("values");

    QTest::newRow("{Zyr}") << 0 << QStringList{PresetIp, "6500", "0"};
    // The composed text keeps its blanks; on the wire they arrive encoded
    // and decode back to the prompts.
    QTest::newRow("untouched boxes send the prompts") << -1 << QStringList{QString(), "Query Port", "Server Web Port"};
}

void TestMainWindow::beginQuerySendsOneRequest()
{
    QFETCH(int, preset);
    QFETCH(QStringList, values);

    if (preset >= 0)
        pick(preset);
    QCOMPARE(boxes(), values);

    QTest::mouseClick(control<QPushButton>(m_window, "Command1"), Qt::LeftButton);
    QVERIFY(control<Timer>(m_window, "Timer1")->isEnabled());

    QVERIFY(m_server->waitForRequests(QueryPath, 1, 10000));
    QCOMPARE(sent(m_server->requestsFor(QueryPath).first()), values);
    QCOMPARE(control<ProgressBar>(m_window, "pg")->value(), 0.0f);
    QVERIFY(!control<Timer>(m_window, "Timer1")->isEnabled());
    QCOMPARE(m_server->requestsFor(QueryPath).size(), 1);
    QTRY_COMPARE(control<Browser>(m_window, "WebBrowser1")->url().query(QUrl::FullyDecoded),
                 QStringLiteral("serverip=%1&serverqport=%2&serverwport=%3").arg(values[0], values[1], values[2]));
}

void TestMainWindow::theKeyboardPicksAsWell()
{
    pick(1);
    QCOMPARE(control<QLineEdit>(m_window, "Text3")->text(), QStringLiteral("6500"));
    // Up from "Custom" is "{Zyr}".
    control<QComboBox>(m_window, "Combo2")->setFocus();
    QTest::keyClick(control<QComboBox>(m_window, "Combo2"), Qt::Key_Up);
    QCOMPARE(control<QComboBox>(m_window, "Combo2")->currentIndex(), 0);
    QCOMPARE(control<QLineEdit>(m_window, "Text2")->text(), PresetIp);
}

void TestMainWindow::typingIntoTheChooserChangesNoBox()
{
    control<QComboBox>(m_window, "Combo2")->setFocus();
    control<QComboBox>(m_window, "Combo2")->lineEdit()->selectAll();
    QTest::keyClicks(control<QComboBox>(m_window, "Combo2")->lineEdit(), QStringLiteral("Cus"));
    QCOMPARE(control<QComboBox>(m_window, "Combo2")->currentText(), QStringLiteral("Cus")); // no completion either
    QTest::keyClicks(control<QComboBox>(m_window, "Combo2")->lineEdit(), QStringLiteral("tom"));
    QCOMPARE(control<QComboBox>(m_window, "Combo2")->currentText(), QStringLiteral("Custom"));
    QTest::keyClick(control<QComboBox>(m_window, "Combo2")->lineEdit(), Qt::Key_Return);
    QCOMPARE(boxes(), (QStringList{QString(), "Query Port", "Server Web Port"}));
}

void TestMainWindow::linksOpenPagesAndTheAboutWindow()
{
    QStringList &launched = m_opened;
    const QString admin = QStringLiteral("http://%1:5080/ServerAdmin/settings/general").arg(m_program->deployment().adminHost);
    QTest::mouseClick(control<LinkLabel>(m_window, "lblZyrAdmin"), Qt::LeftButton);
    QTest::mouseClick(control<LinkLabel>(m_window, "lblZyrAdmin"), Qt::LeftButton);
    QCOMPARE(launched, (QStringList{admin, admin}));

    QTest::mouseClick(control<LinkLabel>(m_window, "Label6"), Qt::LeftButton);
    AboutWindow *about = m_program->aboutWindow();
    QVERIFY(about);
    QTest::mouseClick(control<LinkLabel>(m_window, "Label6"), Qt::LeftButton);
    QCOMPARE(m_program->aboutWindow(), about);
    const QWidgetList windows = QApplication::topLevelWidgets();
    QCOMPARE(std::count_if(windows.begin(), windows.end(), [](QWidget *w) { return qobject_cast<AboutWindow *>(w); }), 1);

    QTest::mouseClick(control<LinkLabel>(about, "Label8"), Qt::LeftButton);
    QCOMPARE(launched.size(), 3);
    QCOMPARE(launched.last(),
             QStringLiteral("http://%1").arg(m_program->deployment().siteHost));
    QVERIFY(about->isVisible());
    QVERIFY(m_window->isVisible());
}

SKIRVANE_WINDOW_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
