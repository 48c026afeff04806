#include "launch/commandline.h"
#include "launch/openinexplorer.h"
#include "platform/shelllaunch.h"

#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

namespace {

// Puts PATH back when a test ends, however it ends.
class PathGuard final
{
public:
    PathGuard() = default;
    ~PathGuard() { qputenv("PATH", m_saved); }
    Q_DISABLE_COPY_MOVE(PathGuard)

    void set(const QString &path) { qputenv("PATH", path.toLocal8Bit()); }
    QString saved() const { return QString::fromLocal8Bit(m_saved); }

private:
    QByteArray m_saved = qgetenv("PATH");
};

class RecordingLaunch final : public ShellLaunch
{
public:
    std::optional<LaunchFailure> start(const QString &commandLine, int windowStyle) override
    {
        starts.append({commandLine, windowStyle});
        return std::nullopt;
    }
    QList<std::pair<QString, int>> starts;
};

const QString AdminPage = QStringLiteral("http://127.0.0.1:5080/ServerAdmin/settings/general");

QStringList linesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}

class tst_Launch final : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void addressFromCommandLine_data();
    void addressFromCommandLine();

    void openerReceivesTheAddressAsItsOneArgument();
    void missingOpenerIsReported();
    void openInExplorerHandsEveryClickToTheLaunch();
    void openInExplorerShowsTheFailureAndReturns();
};

void tst_Launch::commandLine_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("admin page keeps :5080")
        << CommandLine::adminPageUrl(QStringLiteral("127.0.0.1"))
        << QByteArray("explorer.exe \"http://127.0.0.1:5080/ServerAdmin/settings/general\"");
    QTest::newRow("update page ends at the host")
        << CommandLine::updatePageUrl(QStringLiteral("localhost:8650")) << QByteArray("explorer.exe \"http://localhost:8650\"");
    QTest::newRow("update page without a port")
        << CommandLine::updatePageUrl(QStringLiteral("example.org")) << QByteArray("explorer.exe \"http://example.org\"");
}

void tst_Launch::commandLine()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, expected);
    QCOMPARE(CommandLine::explorerCommandLine(address).toLatin1(), expected);
}

void tst_Launch::addressFromCommandLine_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("address");

    QTest::newRow("admin page") << CommandLine::explorerCommandLine(AdminPage) << true << AdminPage;
    QTest::newRow("empty address") << "explorer.exe \"\"" << true << "";
    QTest::newRow("no quotes") << "explorer.exe http://x" << false << "";
    QTest::newRow("two blanks") << "explorer.exe  \"http://x\"" << false << "";
    QTest::newRow("no closing quote") << "explorer.exe \"http://x" << false << "";
    QTest::newRow("lone quote") << "explorer.exe \"" << false << "";
    QTest::newRow("trailing blank") << "explorer.exe \"http://x\" " << false << "";
    QTest::newRow("other program") << "notepad.exe \"http://x\"" << false << "";
}

void tst_Launch::addressFromCommandLine()
{
    QFETCH(QString, commandLine);
    QFETCH(bool, valid);
    QFETCH(QString, address);

    const std::optional<QString> parsed = CommandLine::addressFromCommandLine(commandLine);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, address);
}

void tst_Launch::openerReceivesTheAddressAsItsOneArgument()
{
    QTemporaryDir bin;
    QVERIFY(bin.isValid());
    const QString record = bin.filePath(QStringLiteral("calls.txt"));
    // One line per start, written at once: the argument count, then each argument after "|".
    QFile opener(bin.filePath(QStringLiteral("xdg-open")));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\n"
                 "line=\"$#\"\n"
                 "for a in \"$@\"; do line=\"$line|$a\"; done\n"
                 "printf '%s\\n' \"$line\" >> '" + record.toLocal8Bit() + "'\n");
    opener.close();
    QVERIFY(opener.setPermissions(opener.permissions() | QFile::ExeOwner));

    PathGuard path;
    path.set(bin.path() + QLatin1Char(':') + path.saved());

    ShellLaunch launch;
    const QString line = CommandLine::explorerCommandLine(AdminPage);
    QVERIFY(!launch.start(line, CommandLine::LaunchWindowStyle));
    QVERIFY(!launch.start(line, CommandLine::LaunchWindowStyle));

    const QString expected = QStringLiteral("1|") + AdminPage;
    QTRY_COMPARE(linesOf(record), QStringList({expected, expected}));
}

void tst_Launch::missingOpenerIsReported()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    PathGuard path;
    path.set(empty.path());

    ShellLaunch launch;
    const std::optional<LaunchFailure> failure =
        launch.start(CommandLine::explorerCommandLine(AdminPage), CommandLine::LaunchWindowStyle);
    QVERIFY(failure);
    QVERIFY2(failure->message.contains(AdminPage), qPrintable(failure->message));
    QVERIFY2(failure->message.contains(QLatin1String("xdg-open was not found on PATH")), qPrintable(failure->message));

    const std::optional<LaunchFailure> garbled = launch.start(QStringLiteral("explorer.exe http://x"), 2);
    QVERIFY(garbled);
    QVERIFY2(garbled->message.contains(QLatin1String("explorer.exe http://x")), qPrintable(garbled->message));
}

void tst_Launch::openInExplorerHandsEveryClickToTheLaunch()
{
    QWidget window;
    RecordingLaunch launch;
    const QString site = CommandLine::updatePageUrl(QStringLiteral("localhost:8650"));
    OpenInExplorer(&window, site, launch);
    OpenInExplorer(&window, site, launch);

    const std::pair<QString, int> expected{QStringLiteral("explorer.exe \"http://localhost:8650\""), 2};
    QCOMPARE(launch.starts, (QList<std::pair<QString, int>>{expected, expected}));
    QVERIFY(!window.findChild<QMessageBox *>());
}

void tst_Launch::openInExplorerShowsTheFailureAndReturns()
{
    QTemporaryDir empty;
    QVERIFY(empty.isValid());
    PathGuard path;
    path.set(empty.path());

    QWidget window;
    window.show();
    ShellLaunch launch;
    OpenInExplorer(&window, AdminPage, launch);

    QPointer<QMessageBox> box = window.findChild<QMessageBox *>(QStringLiteral("launchFailure"));
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->icon(), QMessageBox::Warning);
    QVERIFY2(box->text().contains(AdminPage), qPrintable(box->text()));
    QVERIFY2(box->informativeText().contains(QLatin1String("xdg-open was not found on PATH")),
             qPrintable(box->informativeText()));

    box->close();
    QTRY_VERIFY(!box);
    QVERIFY(window.isVisible());
}

QTEST_MAIN(tst_Launch)
#include "tst_launch.moc"
