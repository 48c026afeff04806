#include "app/program.h"
#include "favourites/favouritesfile.h"
#include "files.h"
#include "platform/browser.h"
#include "platform/progressbar.h"
#include "platform/sound.h"
#include "platform/timer.h"
#include "showwindow.h"
#include "support/localdeployment.h"
#include "support/localhttpserver.h"
#include "support/testenvironment.h"
#include "windows/aboutwindow.h"
#include "windows/favouriteswindow.h"
#include "windows/linklabel.h"
#include "windows/mainwindow.h"
#include "windows/saveconfirmation.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QTest>

#include <memory>

namespace {

const QString QueryPath = QStringLiteral("/Skirvane/skirvane.php");

// A file as a user might keep it: slot 4 filled in, slot 1 named only.
const QByteArray StoredFile = "[SERVER]\r\nServerName=Home\r\nServerIP4=10.1.1.4\r\nServerPort4=7787\r\n"
                              "Serverwport4=8080\r\nServerName4=Fourth\r\n";

QLineEdit *field(QWidget *window, const QString &key)
{
    return control<QLineEdit>(window, key);
}

QRadioButton *serverOpt(QWidget *window, int index)
{
    return control<QRadioButton>(window, QStringLiteral("serverOpt(%1)").arg(index));
}

// The 24 fields as they read, in the file's order.
QStringList fields(QWidget *window)
{
    QStringList texts;
    for (const QString &key : FavouritesFile::keys())
        texts += field(window, key)->text();
    return texts;
}

}

// The favourites and confirmation windows for real, with the favourites file
// in a folder of the test's own standing in for the executable's folder.
class TestFavouritesWindow final : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opens_data();
    void opens();
    void queriesTheSelectedSlot_data();
    void queriesTheSelectedSlot();
    void saveAndQueryRunSideBySide();
    void secondSaveWhileConfirmationIsOpen();
    void failedSaveKeepsEditsAndOldFile();
    void closingDuringASaveStillSaves();
    void pastedLineBreaksBecomeBlanks();
    void unreadableFileIsToldAndReplacedOnlyWhenAgreed();
    void openingAgainWhileOpenOnlyShows();
    void closingTheMainWindowFirstKeepsTheProgramRunning();

private:
    // Opens the window over this file; none when empty.
    FavouritesWindow *openFavourites(const QByteArray &file = {});
    void clickSave(QWidget *w) { QTest::mouseClick(control<QPushButton>(w, "Command1"), Qt::LeftButton); }
    void clickQuery(QWidget *w) { QTest::mouseClick(control<QPushButton>(w, "Command2"), Qt::LeftButton); }

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<Program> m_registry;
    QString m_iniPath;
    int m_fallbackSounds = 0;
};

void TestFavouritesWindow::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_iniPath = m_folder->filePath(QStringLiteral("ut3servers.ini"));
    m_server = std::make_unique<LocalHttpServer>();
    QVERIFY(m_server->start());

    // No sound file in the folder: each confirmation that loads falls back.
    m_fallbackSounds = 0;
    m_registry = std::make_unique<Program>(deploymentServedBy(*m_server), m_folder->path(), m_folder->path(), nullptr,
                                           std::make_unique<Sound>([this] { ++m_fallbackSounds; }));
    QVERIFY(QTest::qWaitForWindowExposed(m_registry->showMain()));
}

void TestFavouritesWindow::cleanup()
{
    m_registry.reset();
    m_server.reset();
    m_folder.reset();
}

FavouritesWindow *TestFavouritesWindow::openFavourites(const QByteArray &file)
{
    if (!file.isEmpty() && !writeRaw(m_iniPath, file))
        return nullptr;
    QTest::mouseClick(control<LinkLabel>(m_registry->mainWindow(), "LabelFavs"), Qt::LeftButton);
    FavouritesWindow *w = m_registry->favouritesWindow();
    if (w && !QTest::qWaitForWindowExposed(w))
        return nullptr;
    return w;
}

void TestFavouritesWindow::opens_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("shown");

    QStringList stored(FavouritesFile::KeyCount);
    stored[0] = QStringLiteral("Home");
    stored[12] = QStringLiteral("Fourth");
    stored[13] = QStringLiteral("10.1.1.4");
    stored[14] = QStringLiteral("7787");
    stored[15] = QStringLiteral("8080");
    QTest::newRow("the file beside the executable") << StoredFile << stored;
    QTest::newRow("no file") << QByteArray() << QStringList(FavouritesFile::KeyCount);
}

void TestFavouritesWindow::opens()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, shown);

    FavouritesWindow *w = openFavourites(file);
    QVERIFY(w);
    QCOMPARE(w->iniPath(), m_iniPath);
    QCOMPARE(fields(w), shown);
    for (int i = 0; i < 6; ++i)
        QVERIFY(!serverOpt(w, i)->isChecked());
    QCOMPARE(control<ProgressBar>(w, "pg")->value(), 0.0f);
    QCOMPARE(control<ProgressBar>(w, "pg2")->value(), 0.0f);
    QVERIFY(!control<Timer>(w, "Timer1")->isEnabled() && !control<Timer>(w, "Timer2")->isEnabled());
    // Blank until the first query, without a page or a renderer behind it.
    QVERIFY(control<Browser>(w, "WebBrowser1")->url().isEmpty());
    QVERIFY(!control<Browser>(w, "WebBrowser1")->view());
}

void TestFavouritesWindow::queriesTheSelectedSlot_data()
{
    QTest::addColumn<int>("option"); // -1: none
    QTest::addColumn<QByteArray>("target");

    QTest::newRow("slot 4") << 3 << QByteArray("/Skirvane/skirvane.php?serverip=10.1.1.4&serverqport=7787&serverwport=8080");
    QTest::newRow("nothing selected: empty values") << -1
                                                    << QByteArray("/Skirvane/skirvane.php?serverip=&serverqport=&serverwport=");
}

void TestFavouritesWindow::queriesTheSelectedSlot()
{
    QFETCH(int, option);
    QFETCH(QByteArray, target);

    FavouritesWindow *w = openFavourites(StoredFile);
    QVERIFY(w);
    if (option >= 0) {
        QTest::mouseClick(serverOpt(w, option), Qt::LeftButton);
        QVERIFY(serverOpt(w, option)->isChecked());
    }
    QSignalSpy loaded(control<Browser>(w, "WebBrowser1"), &Browser::loadFinished);
    clickQuery(w);
    QVERIFY(m_server->waitForRequests(QueryPath, 1, 10000));
    QCOMPARE(m_server->requestsFor(QueryPath).first().target, target);
    QCOMPARE(control<ProgressBar>(w, "pg")->value(), 0.0f);
    QVERIFY(!control<Timer>(w, "Timer1")->isEnabled());
    // The page made by the first query loads and is shown.
    QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 1, 10000);
    QCOMPARE(loaded.first().first().toBool(), true);
    QVERIFY(control<Browser>(w, "WebBrowser1")->view()->page()->isVisible());
    QTRY_COMPARE(control<Browser>(w, "WebBrowser1")->title(), QStringLiteral("local"));
    // Only this window's browser shows it.
    QCOMPARE(m_server->requestsFor(QStringLiteral("/Zyr/Skirvane/skirvane.php")).size(), 0);
}

void TestFavouritesWindow::saveAndQueryRunSideBySide()
{
    FavouritesWindow *w = openFavourites(StoredFile);
    QVERIFY(w);
    QTest::mouseClick(serverOpt(w, 0), Qt::LeftButton);
    field(w, "ServerIP")->setText(QStringLiteral("10.9.9.9"));
    clickSave(w);
    QTRY_VERIFY(control<ProgressBar>(w, "pg2")->value() > 0.0f);
    clickQuery(w);
    QTRY_VERIFY(control<ProgressBar>(w, "pg2")->value() > 0.0f && control<ProgressBar>(w, "pg")->value() > 0.0f);
    // An edit while both run counts for both.
    field(w, "ServerPort")->setText(QStringLiteral("6500"));

    QVERIFY(m_server->waitForRequests(QueryPath, 1, 10000));
    QTRY_VERIFY(m_registry->confirmationWindow());
    QVERIFY(m_server->requestsFor(QueryPath).first().target.startsWith(
        "/Skirvane/skirvane.php?serverip=10.9.9.9&serverqport=6500&"));
    QCOMPARE(contentOf(m_iniPath), FavouritesFile::saveText(fields(w)));
    QVERIFY(contentOf(m_iniPath).contains("ServerIP=10.9.9.9\r\nServerPort=6500\r\n"));
    QCOMPARE(control<ProgressBar>(w, "pg2")->value(), 0.0f);
    QVERIFY(!control<Timer>(w, "Timer2")->isEnabled());
}

void TestFavouritesWindow::secondSaveWhileConfirmationIsOpen()
{
    FavouritesWindow *w = openFavourites(StoredFile);
    QVERIFY(w);
    clickSave(w);
    QTRY_VERIFY_WITH_TIMEOUT(m_registry->confirmationWindow(), 5000);
    SaveConfirmation *confirmation = m_registry->confirmationWindow();
    QVERIFY(QTest::qWaitForWindowExposed(confirmation));
    QCOMPARE(control<QPushButton>(confirmation, "Command1")->text(), QStringLiteral("OK"));
    QCOMPARE(m_fallbackSounds, 1); // no sound file beside the executable
    const QPoint placed = confirmation->pos();
    const Placement::Position expected = Placement::confirmationByFavourites(w->placementFrame());
    QCOMPARE(placed, Placement::twipsToPixels(expected));

    field(w, "ServerName5")->setText(QStringLiteral("second"));
    confirmation->move(placed + QPoint(7, 7)); // where a user might drag it
    clickSave(w);
    QTRY_VERIFY_WITH_TIMEOUT(contentOf(m_iniPath).contains("ServerName5=second\r\n"), 5000);
    QCOMPARE(m_registry->confirmationWindow(), confirmation);
    QCOMPARE(confirmation->pos(), placed + QPoint(7, 7)); // not placed again
    QCOMPARE(m_fallbackSounds, 1);                         // no sound again

    QTest::mouseClick(control<QPushButton>(confirmation, "Command1"), Qt::LeftButton);
    QTRY_VERIFY(!m_registry->confirmationWindow());
    QVERIFY(m_registry->favouritesWindow()); // OK closes only the confirmation
    clickSave(w);
    QTRY_VERIFY_WITH_TIMEOUT(m_registry->confirmationWindow(), 5000);
    QCOMPARE(m_fallbackSounds, 2); // a fresh confirmation loads and sounds again
}

void TestFavouritesWindow::failedSaveKeepsEditsAndOldFile()
{
    // The favourites file's name is taken by something the save cannot
    // replace: a folder holding a file (fails as root too).
    QVERIFY(QDir(m_folder->path()).mkpath(QStringLiteral("ut3servers.ini/inner")));
    FavouritesWindow *w = openFavourites();
    QVERIFY(w);
    field(w, "ServerName")->setText(QStringLiteral("kept"));
    clickSave(w);
    QMessageBox *message = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((message = w->findChild<QMessageBox *>(QStringLiteral("saveFailure"))), 5000);
    QVERIFY(message->informativeText().contains(m_iniPath));
    QVERIFY(!m_registry->confirmationWindow());
    QVERIFY(!control<Timer>(w, "Timer2")->isEnabled());
    QCOMPARE(control<ProgressBar>(w, "pg2")->value(), 0.0f);
    QCOMPARE(field(w, "ServerName")->text(), QStringLiteral("kept"));
    QVERIFY(QFileInfo(m_iniPath + QStringLiteral("/inner")).isDir());
    message->close();
    QVERIFY(m_registry->favouritesWindow());
}

// How each close reaches the save is the save controller's rows; About / Help
// closes the window as the close box does.
void TestFavouritesWindow::closingDuringASaveStillSaves()
{
    FavouritesWindow *w = openFavourites(StoredFile);
    QVERIFY(w);
    field(w, "ServerName")->setText(QStringLiteral("saved on closing"));
    clickSave(w);
    QTRY_VERIFY(control<ProgressBar>(w, "pg2")->value() >= 30.0f);
    w->close();
    QTRY_VERIFY(!m_registry->favouritesWindow());
    QVERIFY(contentOf(m_iniPath).startsWith("[SERVER]\r\nServerName=saved on closing\r\n"));
    QVERIFY(m_registry->confirmationWindow());
    QCOMPARE(m_fallbackSounds, 1);
}

void TestFavouritesWindow::pastedLineBreaksBecomeBlanks()
{
    FavouritesWindow *w = openFavourites();
    QVERIFY(w);
    QApplication::clipboard()->setText(QStringLiteral("Mine\nServerIP=6.6.6.6\r\n"));
    field(w, "ServerName")->setFocus();
    field(w, "ServerName")->paste();
    QCOMPARE(field(w, "ServerName")->text(), QStringLiteral("Mine ServerIP=6.6.6.6  "));
    QLineEdit *address = control<QLineEdit>(m_registry->mainWindow(), "Text2");
    address->paste();
    QCOMPARE(address->text(), QStringLiteral("Mine ServerIP=6.6.6.6  "));

    clickSave(w);
    QTRY_VERIFY_WITH_TIMEOUT(m_registry->confirmationWindow(), 5000);
    // One line, saved over no file (the file's rows check the rest of the text).
    QVERIFY(contentOf(m_iniPath).startsWith("[SERVER]\r\nServerName=Mine ServerIP=6.6.6.6  \r\nServerIP=\r\n"));
}

void TestFavouritesWindow::unreadableFileIsToldAndReplacedOnlyWhenAgreed()
{
    // Far too large to be a favourites file; sparse, so it takes no room.
    QVERIFY(writeRaw(m_iniPath, StoredFile));
    QVERIFY(QFile::resize(m_iniPath, FavouritesFile::MaxFileBytes + 1));
    FavouritesWindow *w = openFavourites();
    QVERIFY(w);
    QMessageBox *told = w->findChild<QMessageBox *>(QStringLiteral("readFailure"));
    QVERIFY(told);
    QVERIFY2(told->informativeText().contains(m_iniPath), qPrintable(told->informativeText()));
    QCOMPARE(field(w, "ServerName")->text(), QString());
    told->close();

    field(w, "ServerName")->setText(QStringLiteral("new"));
    clickSave(w);
    QMessageBox *ask = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((ask = w->findChild<QMessageBox *>(QStringLiteral("replaceUnreadable"))), 5000);
    QCOMPARE(QFileInfo(m_iniPath).size(), FavouritesFile::MaxFileBytes + 1);
    QTest::mouseClick(ask->button(QMessageBox::Yes), Qt::LeftButton);
    QTRY_VERIFY(m_registry->confirmationWindow());
    QVERIFY(contentOf(m_iniPath).startsWith("[SERVER]\r\nServerName=new\r\n"));
}

void TestFavouritesWindow::openingAgainWhileOpenOnlyShows()
{
    FavouritesWindow *w = openFavourites(StoredFile);
    QVERIFY(w);
    QTest::mouseClick(serverOpt(w, 2), Qt::LeftButton);
    field(w, "ServerIP")->setText(QStringLiteral("typed"));
    QVERIFY(writeRaw(m_iniPath, "[SERVER]\r\nServerIP=changed on disk\r\n"));
    QCOMPARE(openFavourites(), w);
    QCOMPARE(field(w, "ServerIP")->text(), QStringLiteral("typed"));
    QVERIFY(serverOpt(w, 2)->isChecked());

    const Placement::Position expected =
        Placement::favouritesByMain(m_registry->mainWindow()->placementFrame());
    QCOMPARE(w->pos(), Placement::twipsToPixels(expected));
}

void TestFavouritesWindow::closingTheMainWindowFirstKeepsTheProgramRunning()
{
    FavouritesWindow *w = openFavourites();
    QVERIFY(w);
    // Tool windows would otherwise not count, and the program would end
    // with the main window.
    QVERIFY(w->testAttribute(Qt::WA_QuitOnClose));
    QVERIFY(w->windowFlags().testFlag(Qt::Tool));
    m_registry->mainWindow()->close();
    QTRY_VERIFY(!m_registry->mainWindow());
    QVERIFY(w->isVisible());

    // About from here, with the main window gone, opens centred.
    QTest::mouseClick(control<LinkLabel>(w, "Label4"), Qt::LeftButton);
    AboutWindow *about = m_registry->aboutWindow();
    QVERIFY(about);
    QVERIFY(!m_registry->mainWindow());
    QVERIFY(QTest::qWaitForWindowExposed(about));
    QTRY_VERIFY(!m_registry->favouritesWindow()); // About / Help closes the favourites
}

SKIRVANE_WINDOW_TEST_MAIN(TestFavouritesWindow)
#include "tst_favouriteswindow.moc"
