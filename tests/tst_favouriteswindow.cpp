#include "favourites/favouritesfile.h"
#include "favourites/form2.h"
#include "favourites/form3.h"
#include "platform/browser.h"
#include "platform/progressbar.h"
#include "platform/sound.h"
#include "platform/timer.h"
#include "support/localdeployment.h"
#include "support/localhttpserver.h"
#include "support/testenvironment.h"
#include "windows/frmabout.h"
#include "windows/frmmain.h"
#include "windows/linklabel.h"
#include "windows/windowregistry.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QTest>

#include <memory>

namespace {

const QString QueryPath = QStringLiteral("/Skirvane/skirvane.php");

// A file as a user might keep it: slot 4 filled in, slot 1 named only.
const QByteArray StoredFile = "[SERVER]\r\nServerName=Home\r\nServerIP4=10.1.1.4\r\nServerPort4=7787\r\n"
                              "Serverwport4=8080\r\nServerName4=Fourth\r\n";

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QString value(const LocalHttpServer::Request &r, const char *key)
{
    return r.query.queryItemValue(QString::fromLatin1(key), QUrl::FullyDecoded);
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

    void opensWithTheFileBesideTheExecutable();
    void opensEmptyWithoutAFile();
    void queriesTheSelectedSlot();
    void queriesWithEmptyValuesWhenNothingIsSelected();
    void saveAndQueryRunSideBySide();
    void savedFileReadsBackOnTheNextOpening();
    void saveCreatesAMissingFile();
    void secondSaveWhileConfirmationIsOpen();
    void failedSaveKeepsEditsAndOldFile();
    void aboutDuringASaveClosesWithoutSaving();
    void openingAgainWhileOpenOnlyShows();
    void closingTheMainWindowFirstKeepsTheProgramRunning();

private:
    Form2 *openFavourites();
    void clickSave(Form2 *w) { QTest::mouseClick(w->Command1, Qt::LeftButton); }
    void clickQuery(Form2 *w) { QTest::mouseClick(w->Command2, Qt::LeftButton); }

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<LocalHttpServer> m_server;
    std::unique_ptr<WindowRegistry> m_registry;
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

    m_registry = std::make_unique<WindowRegistry>(deploymentServedBy(*m_server), m_folder->path());
    // No sound file in the folder: each confirmation that loads falls back.
    m_fallbackSounds = 0;
    m_registry->setSound(std::make_unique<Sound>([this] { ++m_fallbackSounds; }));
    QVERIFY(QTest::qWaitForWindowExposed(m_registry->showMain()));
}

void TestFavouritesWindow::cleanup()
{
    m_registry.reset();
    m_server.reset();
    m_folder.reset();
}

Form2 *TestFavouritesWindow::openFavourites()
{
    QTest::mouseClick(m_registry->mainWindow()->LabelFavs, Qt::LeftButton);
    Form2 *w = m_registry->favouritesWindow();
    if (w && !QTest::qWaitForWindowExposed(w))
        return nullptr;
    return w;
}

void TestFavouritesWindow::opensWithTheFileBesideTheExecutable()
{
    writeAll(m_iniPath, StoredFile);
    Form2 *w = openFavourites();
    QVERIFY(w);
    QCOMPARE(w->IniPath, m_iniPath);
    QCOMPARE(w->field("ServerName")->text(), QStringLiteral("Home"));
    QCOMPARE(w->field("ServerIP4")->text(), QStringLiteral("10.1.1.4"));
    QCOMPARE(w->field("ServerName4")->text(), QStringLiteral("Fourth"));
    QCOMPARE(w->field("ServerIP")->text(), QString());
    QCOMPARE(w->GetIni("server", "serverport4"), QStringLiteral("7787"));
    for (int i = 0; i < 6; ++i)
        QVERIFY(!w->serverOpt(i)->isChecked());
    QCOMPARE(w->pg->value(), 0.0f);
    QCOMPARE(w->pg2->value(), 0.0f);
    QVERIFY(!w->Timer1->isEnabled() && !w->Timer2->isEnabled());
    // Blank until the first query, without a page or a renderer behind it.
    QVERIFY(w->WebBrowser1->url().isEmpty());
    QVERIFY(!w->WebBrowser1->hasPage());
}

void TestFavouritesWindow::opensEmptyWithoutAFile()
{
    Form2 *w = openFavourites();
    QVERIFY(w);
    for (const QString &key : FavouritesFile::keys())
        QCOMPARE(w->field(key)->text(), QString());
}

void TestFavouritesWindow::queriesTheSelectedSlot()
{
    writeAll(m_iniPath, StoredFile);
    Form2 *w = openFavourites();
    QVERIFY(w);
    QTest::mouseClick(w->serverOpt(3), Qt::LeftButton);
    QVERIFY(w->serverOpt(3)->isChecked());
    QSignalSpy loaded(w->WebBrowser1, &QWebEngineView::loadFinished);
    clickQuery(w);
    QVERIFY(m_server->waitForRequests(QueryPath, 1, 10000));
    const LocalHttpServer::Request r = m_server->requestsFor(QueryPath).first();
    QCOMPARE(value(r, "serverip"), QStringLiteral("10.1.1.4"));
    QCOMPARE(value(r, "serverqport"), QStringLiteral("7787"));
    QCOMPARE(value(r, "serverwport"), QStringLiteral("8080"));
    QCOMPARE(w->pg->value(), 0.0f);
    QVERIFY(!w->Timer1->isEnabled());
    // The page made by the first query loads and is shown.
    QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 1, 10000);
    QCOMPARE(loaded.first().first().toBool(), true);
    QVERIFY(w->WebBrowser1->page()->isVisible());
    QTRY_COMPARE(w->WebBrowser1->title(), QStringLiteral("local"));
    // Only this window's browser shows it.
    QCOMPARE(m_server->requestsFor(QStringLiteral("/Zyr/Skirvane/skirvane.php")).size(), 0);
}

void TestFavouritesWindow::queriesWithEmptyValuesWhenNothingIsSelected()
{
    writeAll(m_iniPath, StoredFile);
    Form2 *w = openFavourites();
    QVERIFY(w);
    clickQuery(w);
    QVERIFY(m_server->waitForRequests(QueryPath, 1, 10000));
    QCOMPARE(m_server->requestsFor(QueryPath).first().target,
             QByteArray("/Skirvane/skirvane.php?serverip=&serverqport=&serverwport="));
}

void TestFavouritesWindow::saveAndQueryRunSideBySide()
{
    writeAll(m_iniPath, StoredFile);
    Form2 *w = openFavourites();
    QVERIFY(w);
    QTest::mouseClick(w->serverOpt(0), Qt::LeftButton);
    w->field("ServerIP")->setText(QStringLiteral("10.9.9.9"));
    clickSave(w);
    QTest::qWait(150);
    clickQuery(w);
    QTRY_VERIFY(w->pg2->value() > 0.0f && w->pg->value() > 0.0f);
    // An edit while both run counts for both.
    w->field("ServerPort")->setText(QStringLiteral("6500"));

    QVERIFY(m_server->waitForRequests(QueryPath, 1, 10000));
    QTRY_VERIFY(m_registry->confirmationWindow());
    const LocalHttpServer::Request r = m_server->requestsFor(QueryPath).first();
    QCOMPARE(value(r, "serverip"), QStringLiteral("10.9.9.9"));
    QCOMPARE(value(r, "serverqport"), QStringLiteral("6500"));

    QStringList expected;
    for (const QString &key : FavouritesFile::keys())
        expected += w->field(key)->text();
    QCOMPARE(readAll(m_iniPath), FavouritesFile::saveText(expected));
    QVERIFY(readAll(m_iniPath).contains("ServerIP=10.9.9.9\r\nServerPort=6500\r\n"));
    QCOMPARE(w->pg2->value(), 0.0f);
    QVERIFY(!w->Timer2->isEnabled());
}

void TestFavouritesWindow::savedFileReadsBackOnTheNextOpening()
{
    writeAll(m_iniPath, StoredFile);
    Form2 *w = openFavourites();
    QVERIFY(w);
    w->field("ServerName2")->setText(QStringLiteral("a=b"));
    w->field("ServerIP6")->setText(QString::fromUtf8("café"));
    w->field("ServerName3")->setText(QStringLiteral("  padded  "));
    clickSave(w);
    QTRY_VERIFY_WITH_TIMEOUT(m_registry->confirmationWindow(), 5000);
    QVERIFY(readAll(m_iniPath).contains("ServerName2=a=b\r\n"));
    QVERIFY(readAll(m_iniPath).contains("ServerIP6=caf\xe9\r\n")); // one byte in the 8-bit code page
    QVERIFY(readAll(m_iniPath).contains("ServerName3=  padded  \r\n"));

    // Edits not saved are gone after closing; the file comes back.
    w->field("ServerName2")->setText(QStringLiteral("unsaved"));
    w->close();
    QTRY_VERIFY(!m_registry->favouritesWindow());
    w = openFavourites();
    QVERIFY(w);
    QCOMPARE(w->field("ServerName2")->text(), QStringLiteral("a=b"));
    QCOMPARE(w->field("ServerIP6")->text(), QString::fromUtf8("café"));
    QCOMPARE(w->field("ServerName3")->text(), QStringLiteral("padded"));
    QCOMPARE(w->field("ServerIP4")->text(), QStringLiteral("10.1.1.4"));
}

void TestFavouritesWindow::saveCreatesAMissingFile()
{
    Form2 *w = openFavourites();
    QVERIFY(w);
    QVERIFY(!QFile::exists(m_iniPath));
    clickSave(w);
    QTRY_VERIFY_WITH_TIMEOUT(m_registry->confirmationWindow(), 5000);
    const QByteArray written = readAll(m_iniPath);
    QCOMPARE(written.size(), 336);
    QVERIFY(written.startsWith("[SERVER]\r\nServerName=\r\nServerIP=\r\n"));
    QVERIFY(written.endsWith("Serverwport6=\r\n"));
}

void TestFavouritesWindow::secondSaveWhileConfirmationIsOpen()
{
    writeAll(m_iniPath, StoredFile);
    Form2 *w = openFavourites();
    QVERIFY(w);
    clickSave(w);
    QTRY_VERIFY_WITH_TIMEOUT(m_registry->confirmationWindow(), 5000);
    Form3 *confirmation = m_registry->confirmationWindow();
    QVERIFY(QTest::qWaitForWindowExposed(confirmation));
    QCOMPARE(confirmation->Command1->text(), QStringLiteral("OK"));
    QCOMPARE(m_fallbackSounds, 1); // no sound file beside the executable
    const QPoint placed = confirmation->pos();
    const Placement::Position expected = Placement::confirmationByFavourites(w->placementFrame());
    QCOMPARE(placed, Placement::twipsToPixels(expected));

    w->field("ServerName5")->setText(QStringLiteral("second"));
    confirmation->move(placed + QPoint(7, 7)); // where a user might drag it
    clickSave(w);
    QTRY_VERIFY_WITH_TIMEOUT(readAll(m_iniPath).contains("ServerName5=second\r\n"), 5000);
    QCOMPARE(m_registry->confirmationWindow(), confirmation);
    QCOMPARE(confirmation->pos(), placed + QPoint(7, 7)); // not placed again
    QCOMPARE(m_fallbackSounds, 1);                         // no sound again

    QTest::mouseClick(confirmation->Command1, Qt::LeftButton);
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
    Form2 *w = openFavourites();
    QVERIFY(w);
    w->field("ServerName")->setText(QStringLiteral("kept"));
    clickSave(w);
    QMessageBox *message = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((message = w->findChild<QMessageBox *>(QStringLiteral("saveFailure"))), 5000);
    QVERIFY(message->informativeText().contains(m_iniPath));
    QVERIFY(!m_registry->confirmationWindow());
    QVERIFY(!w->Timer2->isEnabled());
    QCOMPARE(w->pg2->value(), 0.0f);
    QCOMPARE(w->field("ServerName")->text(), QStringLiteral("kept"));
    QVERIFY(QFileInfo(m_iniPath + QStringLiteral("/inner")).isDir());
    message->close();
    QVERIFY(m_registry->favouritesWindow());
}

void TestFavouritesWindow::aboutDuringASaveClosesWithoutSaving()
{
    writeAll(m_iniPath, StoredFile);
    Form2 *w = openFavourites();
    QVERIFY(w);
    w->field("ServerName")->setText(QStringLiteral("never saved"));
    clickSave(w);
    QTRY_VERIFY(w->pg2->value() >= 30.0f);
    QTest::mouseClick(w->Label4, Qt::LeftButton);
    QVERIFY(m_registry->aboutWindow());
    QTRY_VERIFY(!m_registry->favouritesWindow());
    QTest::qWait(1500);
    QCOMPARE(readAll(m_iniPath), StoredFile);
    QVERIFY(!m_registry->confirmationWindow());
}

void TestFavouritesWindow::openingAgainWhileOpenOnlyShows()
{
    writeAll(m_iniPath, StoredFile);
    Form2 *w = openFavourites();
    QVERIFY(w);
    QTest::mouseClick(w->serverOpt(2), Qt::LeftButton);
    w->field("ServerIP")->setText(QStringLiteral("typed"));
    writeAll(m_iniPath, "[SERVER]\r\nServerIP=changed on disk\r\n");
    QCOMPARE(openFavourites(), w);
    QCOMPARE(w->field("ServerIP")->text(), QStringLiteral("typed"));
    QVERIFY(w->serverOpt(2)->isChecked());

    const Placement::Position expected =
        Placement::favouritesByMain(m_registry->mainWindow()->placementFrame());
    QCOMPARE(w->pos(), Placement::twipsToPixels(expected));
}

void TestFavouritesWindow::closingTheMainWindowFirstKeepsTheProgramRunning()
{
    Form2 *w = openFavourites();
    QVERIFY(w);
    // Tool windows would otherwise not count, and the program would end
    // with the main window.
    QVERIFY(w->testAttribute(Qt::WA_QuitOnClose));
    QVERIFY(w->windowFlags().testFlag(Qt::Tool));
    m_registry->mainWindow()->close();
    QTRY_VERIFY(!m_registry->mainWindow());
    QVERIFY(w->isVisible());

    // About from here, with the main window gone, opens centred.
    QTest::mouseClick(w->Label4, Qt::LeftButton);
    frmAbout *about = m_registry->aboutWindow();
    QVERIFY(about);
    QVERIFY(!m_registry->mainWindow());
    QVERIFY(QTest::qWaitForWindowExposed(about));
}

SKIRVANE_WINDOW_TEST_MAIN(TestFavouritesWindow)
#include "tst_favouriteswindow.moc"
