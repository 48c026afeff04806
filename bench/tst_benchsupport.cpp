#include "pageserver.h"
#include "procfs.h"
#include "startclock.h"

#include <QTcpSocket>
#include <QTest>

#include <algorithm>

#include <unistd.h>

class tst_BenchSupport final : public QObject
{
    Q_OBJECT
private slots:
    void statFieldsCountFromTheLastParenthesis();
    void rollupTakesPssByItsExactName();
    void descendantsFollowTheWholeTree();
    void librariesCountOncePerFile();
    void thisProcessMeasuresItself();
    void processStartIsOnTheWallClock();
    void serverAnswersTheStartPageOnly_data();
    void serverAnswersTheStartPageOnly();
};

void tst_BenchSupport::statFieldsCountFromTheLastParenthesis()
{
    // A command name may hold blanks and parentheses of its own; read from
    // the first ')' this one would give parent 1 and a shifted start time.
    const QByteArray tail = " S 4242 10 10 0 -1 4194560 100 0 0 0 5 3 0 0 20 0 7 0 987654 1000 50";
    const auto odd = Procfs::parseStat("1234 (a) S 1 (b)" + tail);
    QVERIFY(odd);
    QCOMPARE(odd->name, QByteArray("a) S 1 (b"));
    QCOMPARE(odd->parent, 4242);
    QCOMPARE(odd->startTicks, 987654u);

    QVERIFY(!Procfs::parseStat("1234 (short) S 4242 10"));
    QVERIFY(!Procfs::parseStat(""));
}

void tst_BenchSupport::rollupTakesPssByItsExactName()
{
    const QByteArray rollup = "55d0a0000000-7ffd0f1fe000 ---p 00000000 00:00 0    [rollup]\n"
                              "Rss:              102400 kB\n"
                              "Pss:               61440 kB\n"
                              "Pss_Anon:          30000 kB\n"
                              "Pss_File:          31000 kB\n"
                              "Pss_Shmem:           440 kB\n"
                              "Shared_Clean:      40000 kB\n"
                              "Private_Clean:      2048 kB\n"
                              "Private_Dirty:     30720 kB\n";
    const auto memory = Procfs::parseSmapsRollup(rollup);
    QVERIFY(memory);
    QCOMPARE(memory->pssKib, 61440);
    QCOMPARE(memory->ussKib, 2048 + 30720);

    // A process that has ended leaves an empty file: no figure, not zero.
    QVERIFY(!Procfs::parseSmapsRollup(""));
    QVERIFY(!Procfs::parseSmapsRollup("Pss_Anon:  100 kB\n"));
}

void tst_BenchSupport::descendantsFollowTheWholeTree()
{
    // 10 -> 11 -> 13 (a helper's own child), 10 -> 12; 20 is a sibling of
    // 10 under 1, and 30 is unrelated.
    const QHash<pid_t, pid_t> parentOf{{10, 1}, {11, 10}, {12, 10}, {13, 11}, {20, 1}, {30, 2}};
    QList<pid_t> found = Procfs::withDescendants(10, parentOf);
    QCOMPARE(found.value(0), 10);
    std::sort(found.begin(), found.end());
    QCOMPARE(found, (QList<pid_t>{10, 11, 12, 13}));

    QCOMPARE(Procfs::withDescendants(99, parentOf), QList<pid_t>{99});
}

void tst_BenchSupport::librariesCountOncePerFile()
{
    const QByteArray maps = "7f01-7f02 r--p 00000000 08:01 11 /usr/lib/x86_64-linux-gnu/libQt6Core.so.6.4.2\n"
                            "7f02-7f03 r-xp 00001000 08:01 11 /usr/lib/x86_64-linux-gnu/libQt6Core.so.6.4.2\n"
                            "7f03-7f04 r--p 00000000 08:01 12 /usr/lib/skirvane/libskirvane-sound.so\n"
                            "7f04-7f05 r--p 00000000 08:01 13 /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf\n"
                            "7f05-7f06 r--p 00000000 08:01 14 /usr/lib/locale/C.utf8/LC_CTYPE\n"
                            "7f06-7f07 rw-p 00000000 00:00 0 [heap]\n"
                            "7f07-7f08 rw-p 00000000 00:00 0\n";
    QCOMPARE(Procfs::countLibraries(maps), 2);
    QVERIFY(Procfs::mappedLibraries(::getpid()) > 0);
}

void tst_BenchSupport::thisProcessMeasuresItself()
{
    const Procfs::TreeMemory tree = Procfs::measureTree(::getpid());
    QVERIFY(tree.processes >= 1);
    QVERIFY(tree.root.pssKib > 0);
    QVERIFY(tree.total.pssKib >= tree.root.pssKib);
}

void tst_BenchSupport::processStartIsOnTheWallClock()
{
    // This process began moments ago: a mix-up of clocks or units would put
    // its start hours or years away.
    const std::optional<qint64> start = StartClock::processStartUs();
    QVERIFY(start);
    const qint64 ageUs = StartClock::nowUs() - *start;
    QVERIFY2(ageUs >= 0 && ageUs < 60'000'000, qPrintable(QString::number(ageUs)));
}

void tst_BenchSupport::serverAnswersTheStartPageOnly_data()
{
    QTest::addColumn<QList<QByteArray>>("requestParts");
    QTest::addColumn<QByteArray>("statusLine");

    const QByteArray startPage = PageServer::startPagePath().toLatin1();
    QTest::newRow("start page")
        << QList<QByteArray>{"GET " + startPage + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"} << QByteArray("HTTP/1.1 200 OK");
    QTest::newRow("request in two parts")
        << QList<QByteArray>{"GET " + startPage + " HTTP/1.1\r\nHo", "st: 127.0.0.1\r\n\r\n"}
        << QByteArray("HTTP/1.1 200 OK");
    QTest::newRow("favicon")
        << QList<QByteArray>{"GET /favicon.ico HTTP/1.1\r\n\r\n"} << QByteArray("HTTP/1.1 404 Not Found");
}

void tst_BenchSupport::serverAnswersTheStartPageOnly()
{
    QFETCH(QList<QByteArray>, requestParts);
    QFETCH(QByteArray, statusLine);

    PageServer server;
    QVERIFY(server.start());
    QVERIFY(server.host().startsWith(QLatin1String("127.0.0.1:")));
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.host().section(QLatin1Char(':'), 1).toUShort());
    QVERIFY(socket.waitForConnected(5000));
    for (const QByteArray &part : requestParts) {
        socket.write(part);
        QVERIFY(socket.waitForBytesWritten(5000));
        QTest::qWait(20); // let the server read each part on its own
    }
    // The server closes the connection once it has answered.
    QByteArray answer;
    QVERIFY(QTest::qWaitFor([&] {
        answer += socket.readAll();
        return socket.state() == QAbstractSocket::UnconnectedState;
    }, 5000));
    answer += socket.readAll();
    QVERIFY2(answer.startsWith(statusLine), answer.left(80).constData());

    const qsizetype headerEnd = answer.indexOf("\r\n\r\n");
    QVERIFY(headerEnd > 0);
    const QByteArray body = answer.mid(headerEnd + 4);
    QVERIFY(answer.left(headerEnd).contains("Content-Length: " + QByteArray::number(body.size())));
    QCOMPARE(body.contains("<title>"), statusLine.contains("200"));
}

QTEST_GUILESS_MAIN(tst_BenchSupport)
#include "tst_benchsupport.moc"
