#include "app/folders.h"
#include "app/program.h"
#include "favourites/favouritesfile.h"
#include "files.h"
#include "platform/sound.h"
#include "support/localdeployment.h"
#include "support/localhttpserver.h"
#include "support/testenvironment.h"
#include "windows/favouriteswindow.h"
#include "windows/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

// An installed build: this test compiles the program's folders with
// SKIRVANE_FAVOURITES_IN_CONFIG_FOLDER defined, as the installed program is
// built, and saves and reopens through the real favourites window.
class TestInstalledProgram final : public QObject
{
    Q_OBJECT
private slots:
    void savesToAndReadsFromTheConfigFolder();
    void soundFromBesideTheExecutableOrTheDataFolder_data();
    void soundFromBesideTheExecutableOrTheDataFolder();
};

void TestInstalledProgram::savesToAndReadsFromTheConfigFolder()
{
    QTemporaryDir executableFolder;
    QTemporaryDir home;
    QVERIFY(executableFolder.isValid() && home.isValid());
    const QString configHome = home.filePath(QStringLiteral("config")); // missing, as on a first start
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome));

    const QString folder = Folders::favourites(executableFolder.path());
    QCOMPARE(folder, configHome + QStringLiteral("/skirvane"));
    QVERIFY(!QFile::exists(configHome));

    LocalHttpServer server;
    QVERIFY(server.start());
    Program program(deploymentServedBy(server), executableFolder.path(), folder, nullptr,
                    std::make_unique<Sound>([] {}));
    program.showMain();
    FavouritesWindow *w = program.showFavourites();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    w->findChild<QLineEdit *>(QStringLiteral("ServerName3"))->setText(QStringLiteral("Third"));
    w->findChild<QLineEdit *>(QStringLiteral("ServerIP3"))->setText(QStringLiteral("10.0.0.3"));
    QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(program.confirmationWindow(), 5000);

    QStringList expected(FavouritesFile::KeyCount);
    expected[8] = QStringLiteral("Third");
    expected[9] = QStringLiteral("10.0.0.3");
    const QString saved = configHome + QStringLiteral("/skirvane/ut3servers.ini");
    QCOMPARE(contentOf(saved), FavouritesFile::saveText(expected));
    QCOMPARE(QDir(executableFolder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());

    // An edit not saved is gone after closing: the file comes back.
    w->findChild<QLineEdit *>(QStringLiteral("ServerName3"))->setText(QStringLiteral("unsaved"));
    w->close();
    QTRY_VERIFY(!program.favouritesWindow());
    w = program.showFavourites();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->iniPath(), saved);
    QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("ServerName3"))->text(), QStringLiteral("Third"));
    QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("ServerIP3"))->text(), QStringLiteral("10.0.0.3"));
}

void TestInstalledProgram::soundFromBesideTheExecutableOrTheDataFolder_data()
{
    QTest::addColumn<QString>("soundAt"); // below the tree's root
    QTest::addColumn<QString>("expected");
    QTest::newRow("build tree") << "bin" << "bin";
    QTest::newRow("installed") << "share/skirvane" << "share/skirvane";
    QTest::newRow("missing") << QString() << "share/skirvane"; // where it should be: the fallback sounds
}

void TestInstalledProgram::soundFromBesideTheExecutableOrTheDataFolder()
{
    QFETCH(QString, soundAt);
    QFETCH(QString, expected);

    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("bin")));
    if (!soundAt.isEmpty()) {
        QVERIFY(QDir(root.path()).mkpath(soundAt));
        QVERIFY(writeRaw(root.filePath(soundAt + QLatin1Char('/') + QLatin1String(Folders::SaveSoundFile)), {}));
    }
    QCOMPARE(Folders::sound(root.filePath(QStringLiteral("bin"))), root.filePath(expected));
}

SKIRVANE_WINDOW_TEST_MAIN(TestInstalledProgram)
#include "tst_installedprogram.moc"
