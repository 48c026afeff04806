#include "core/pageaddress.h"
#include "core/queryaddress.h"

#include <QTest>

class TestQueryAddress final : public QObject
{
    Q_OBJECT
private slots:
    void composesByPlainConcatenation_data();
    void composesByPlainConcatenation();
    void addressesPerService_data();
    void addressesPerService();
};

void TestQueryAddress::composesByPlainConcatenation_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("queryPort");
    QTest::addColumn<QString>("webPort");
    QTest::addColumn<QString>("expected");

    const QString base = QStringLiteral("http://h/Zyr/Skirvane/skirvane.php?serverip=");
    // The main window's boxes as they open: the prompts are ordinary text and
    // travel with their blanks.
    QTest::newRow("untouched boxes") << "" << "Query Port" << "Server Web Port"
                                     << base + "&serverqport=Query Port&serverwport=Server Web Port";
    QTest::newRow("after {Zyr}") << "10.0.0.7" << "6500" << "0"
                                 << base + "10.0.0.7&serverqport=6500&serverwport=0";
    QTest::newRow("after Custom") << "" << "6500" << "0" << base + "&serverqport=6500&serverwport=0";
    QTest::newRow("all empty") << "" << "" << "" << base + "&serverqport=&serverwport=";
    // Nothing is escaped, so a value can add keys or move where one ends.
    QTest::newRow("ampersand and equals") << "1.2.3.4&x=y" << "65=00" << "0&serverwport=9"
                                          << base + "1.2.3.4&x=y&serverqport=65=00&serverwport=0&serverwport=9";
    QTest::newRow("question mark and blanks") << " a?b " << "  " << "? "
                                              << base + " a?b &serverqport=  &serverwport=? ";
    QTest::newRow("non-ASCII letters") << QString::fromUtf8("sérvér.ÿ") << QString::fromUtf8("ñ")
                                       << QString::fromUtf8("Ω")
                                       << base + QString::fromUtf8("sérvér.ÿ&serverqport=ñ&serverwport=Ω");
}

void TestQueryAddress::composesByPlainConcatenation()
{
    QFETCH(QString, address);
    QFETCH(QString, queryPort);
    QFETCH(QString, webPort);
    QFETCH(QString, expected);
    QCOMPARE(QueryAddress::compose(QueryAddress::mainQueryBase(QStringLiteral("h")), {address, queryPort, webPort}),
             expected);
}

void TestQueryAddress::addressesPerService_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");

    QTest::newRow("main query base") << QueryAddress::mainQueryBase(QStringLiteral("q.example.org"))
                                     << "http://q.example.org/Zyr/Skirvane/skirvane.php?serverip=";
    QTest::newRow("favourites query base") << QueryAddress::favoritesQueryBase(QStringLiteral("localhost:8650"))
                                           << "http://localhost:8650/Skirvane/skirvane.php?serverip=";
    QTest::newRow("main start page") << QueryAddress::mainStartPage(QStringLiteral("127.0.0.1:8650"))
                                     << "http://127.0.0.1:8650/Zyr/04query.html";
    QTest::newRow("favourites query") << QueryAddress::compose(QueryAddress::favoritesQueryBase(QStringLiteral("f")), {"a", "b", "c"})
                                      << "http://f/Skirvane/skirvane.php?serverip=a&serverqport=b&serverwport=c";
    QTest::newRow("admin page keeps :5080") << PageAddress::adminPage(QStringLiteral("127.0.0.1"))
                                            << "http://127.0.0.1:5080/ServerAdmin/settings/general";
    QTest::newRow("update page ends at the host") << PageAddress::updatePage(QStringLiteral("localhost:8650"))
                                                  << "http://localhost:8650";
    QTest::newRow("update page without a port") << PageAddress::updatePage(QStringLiteral("example.org"))
                                                << "http://example.org";
}

void TestQueryAddress::addressesPerService()
{
    QFETCH(QString, address);
    QFETCH(QString, expected);
    QCOMPARE(address, expected);
}

QTEST_GUILESS_MAIN(TestQueryAddress)
#include "tst_queryaddress.moc"
