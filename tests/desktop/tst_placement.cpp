#include "core/deployment.h"
#include "core/pageaddress.h"
#include "core/helptext.h"
#include "core/placement.h"

#include <QFile>
#include <QTest>

using namespace Placement;

class tst_Placement final : public QObject
{
    Q_OBJECT

private slots:
    void placement_data();
    void placement();
    void twipsToPixels_data();
    void twipsToPixels();
    void pixelsToTwips();

    void helpTextFilled();
    void helpTextLines_data();
    void helpTextLines();

private:
    QString filledHelpText() const;
};

using Placer = Position (*)(const Frame &);
Q_DECLARE_METATYPE(Placer)

void tst_Placement::placement_data()
{
    QTest::addColumn<Placer>("placer");
    QTest::addColumn<float>("expectedLeft");
    QTest::addColumn<float>("expectedTop");

    // Each by a window at 1000,500 whose inside is 8790 x 9675 twips.
    // 8790 / 12 = 732.5 and 9675 / 8 = 1209.375, both exact in single precision.
    QTest::newRow("about by main") << Placer(aboutByMain) << 1732.5f << 1709.375f;
    // 8790 / 3.5 = 2511.428571..., + 1000 rounds to the float 3511.428466796875;
    // 9675 / 4 = 2418.75.
    QTest::newRow("confirmation by favourites") << Placer(confirmationByFavourites) << 3511.4285f << 2918.75f;
    // 8790 / -422 = -20.829383... (to the left); 9675 / 28 = 345.535714...
    QTest::newRow("favourites by main") << Placer(favouritesByMain) << 979.17059f << 845.5357f;
}

void tst_Placement::placement()
{
    QFETCH(Placer, placer);
    QFETCH(float, expectedLeft);
    QFETCH(float, expectedTop);

    const Position placed = placer(Frame{1000.0f, 500.0f, 8790.0f, 9675.0f});
    QCOMPARE(placed.left, expectedLeft);
    QCOMPARE(placed.top, expectedTop);
}

void tst_Placement::twipsToPixels_data()
{
    QTest::addColumn<float>("twips");
    QTest::addColumn<int>("pixels");

    QTest::newRow("main window width") << 8790.0f << 586;
    QTest::newRow("22 twips is 1.47 px") << 22.0f << 1;
    QTest::newRow("23 twips is 1.53 px") << 23.0f << 2;
    QTest::newRow("half a pixel rounds up") << 7.5f << 1;
    QTest::newRow("minus half a pixel rounds down") << -7.5f << -1;
    QTest::newRow("about left 1732.5 is 115.5 px") << 1732.5f << 116;
    QTest::newRow("favourites left 979.17 is 65.28 px") << 979.17059f << 65;
}

void tst_Placement::twipsToPixels()
{
    QFETCH(float, twips);
    QFETCH(int, pixels);
    QCOMPARE(Placement::twipsToPixels(twips), pixels);
}

void tst_Placement::pixelsToTwips()
{
    QCOMPARE(Placement::pixelsToTwips(586), 8790.0f);
    QCOMPARE(Placement::pixelsToTwips(-2), -30.0f);
    QCOMPARE(Placement::twipsToPixels(Position{1732.5f, 1709.375f}), QPoint(116, 114));
}

QString tst_Placement::filledHelpText() const
{
    const QString path = QFINDTESTDATA("../../assets/helptext.txt");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the help text template %s: %s", qPrintable(path), qPrintable(file.errorString()));
    const Deployment deployment{QStringLiteral("main.test:81"), QStringLiteral("favourites.test:82"),
                                QStringLiteral("10.0.0.9"), QStringLiteral("admin.test"),
                                QStringLiteral("site.test:83")};
    return HelpText::fill(QString::fromUtf8(file.readAll()), deployment);
}

void tst_Placement::helpTextFilled()
{
    const QString text = filledHelpText();
    // 37 lines: 36 ended by CR LF, and the empty line 37 after the last break.
    // The program's built-in copy is this file's bytes.
    QVERIFY(text.endsWith(QLatin1String("\r\n")));
    QCOMPARE(text.count(QLatin1String("\r\n")), 36);
    QCOMPARE(text.count(QLatin1Char('\r')), 36);
    QCOMPARE(text.count(QLatin1Char('\n')), 36);
    QVERIFY(!text.contains(QLatin1String("@SITE_HOST@")));
    QVERIFY(!text.contains(QLatin1String("@FAVORITES_QUERY_HOST@")));
    const QStringList lines = text.split(QLatin1String("\r\n"));
    QVERIFY(lines.at(24).startsWith(QLatin1String("{Zyr}Orlen - ")));
    QVERIFY(lines.at(25).contains(QLatin1String(" - {Zyr} UT3 Server Admin - ")));
}

void tst_Placement::helpTextLines_data()
{
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("expected");

    QTest::newRow("1") << 1 << "Troubleshooting:";
    QTest::newRow("3 perset, trailing blank")
        << 3 << "If this program is not working then my server is offline. If one of the perset UT server ip's are not ";
    QTest::newRow("7 trailing blank") << 7 << "your server. You can download it here: ";
    QTest::newRow("8 site host, trailing blank")
        << 8 << "http://site.test:83/Skirvane/Tallyboard_v0.2_2008-05-02.zip ";
    QTest::newRow("11") << 11 << "server.";
    QTest::newRow("13 ptotocol, trailing blank")
        << 13 << "To launch the game from this program you will need the ut3:// ptotocol fix download from here: ";
    QTest::newRow("14 favourites query host") << 14 << "http://favourites.test:82/Zyr/downloads/ut3protocol.zip";
    QTest::newRow("19 quotes, trailing blank")
        << 19 << "Simply edit whatever is there and click on \"Save Changes\" Next time you return to your favorites ";
    QTest::newRow("21 empty") << 21 << "";
    QTest::newRow("22 empty") << 22 << "";
    QTest::newRow("34") << 34 << "{Zyr} WebSite:";
    QTest::newRow("36 update page") << 36 << PageAddress::updatePage(QStringLiteral("site.test:83"));
    QTest::newRow("37 empty") << 37 << "";
}

void tst_Placement::helpTextLines()
{
    QFETCH(int, line);
    QFETCH(QString, expected);
    QCOMPARE(filledHelpText().split(QLatin1String("\r\n")).at(line - 1), expected);
}

QTEST_GUILESS_MAIN(tst_Placement)
#include "tst_placement.moc"
