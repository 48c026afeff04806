#include "favourites/codepage1252.h"
#include "favourites/favouritesfile.h"
#include "favourites/profilereader.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray utf16(QStringConverter::Encoding byteOrder, QStringView text)
{
    QStringEncoder encoder(byteOrder);
    return encoder.encode(text);
}

QByteArray digits(int count)
{
    QByteArray text;
    for (int i = 0; i < count; ++i)
        text.append(char('0' + i % 10));
    return text;
}

// The 24 lines a save writes, each value made from its key ("ServerName" -> "v-ServerName").
QByteArray favouriteLines()
{
    QByteArray lines;
    for (const QString &key : FavouritesFile::keys())
        lines += key.toLatin1() + "=v-" + key.toLatin1() + "\r\n";
    return lines;
}

}

class TestProfileReader final : public QObject
{
    Q_OBJECT

private slots:
    void rules_data();
    void rules();
    void loneKeyLeavesTheOthersEmpty();
    void onlyKeysAskedForAreKept();
    void namesOutsideAscii_data();
    void namesOutsideAscii();

    void badInput_data();
    void badInput();
    void binaryGarbageAlone();

    void codePageBytes_data();
    void codePageBytes();
    void codePageRoundTripsEveryByte();
};

void TestProfileReader::rules_data()
{
    QTest::addColumn<QByteArray>("fileText");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QByteArray section = "[SERVER]\r\n";

    QTest::newRow("as saved") << section + "ServerName=abc\r\n" << "ServerName" << "abc";
    QTest::newRow("lone key") << section + "ServerIP3=abc\r\n" << "ServerIP3" << "abc";
    QTest::newRow("missing key") << section + "ServerIP3=abc\r\n" << "ServerIP" << "";
    QTest::newRow("empty value") << section + "ServerName=\r\nServerIP=1\r\n" << "ServerName" << "";
    QTest::newRow("empty file") << QByteArray() << "ServerName" << "";

    QTest::newRow("section in lower case") << "[server]\r\nServerName=abc\r\n"_ba << "ServerName" << "abc";
    QTest::newRow("key in lower case") << section + "servername=abc\r\n" << "ServerName" << "abc";
    QTest::newRow("both in odd case") << "[sErVeR]\r\nSERVERWPORT2=7\r\n"_ba << "Serverwport2" << "7";

    QTest::newRow("blanks around value") << section + "ServerName=  my server  \r\n" << "ServerName" << "my server";
    QTest::newRow("tabs around value") << section + "ServerName=\tmy server\t\r\n" << "ServerName" << "my server";
    QTest::newRow("blanks around key and =") << section + "  ServerName  =  abc\r\n" << "ServerName" << "abc";
    QTest::newRow("blanks before section") << "  [SERVER]  \r\nServerName=abc\r\n"_ba << "ServerName" << "abc";
    QTest::newRow("blanks inside brackets") << "[ SERVER ]\r\nServerName=abc\r\n"_ba << "ServerName" << "abc";
    QTest::newRow("text after section") << "[SERVER] ; mine\r\nServerName=abc\r\n"_ba << "ServerName" << "abc";

    QTest::newRow("double quotes") << section + "ServerName=\"my server\"\r\n" << "ServerName" << "my server";
    QTest::newRow("single quotes") << section + "ServerName='my server'\r\n" << "ServerName" << "my server";
    QTest::newRow("quotes within blanks") << section + "ServerName=  \"my server\"  \r\n" << "ServerName" << "my server";
    QTest::newRow("blanks within quotes kept") << section + "ServerName=\" my server \"\r\n" << "ServerName" << " my server ";
    QTest::newRow("one pair only") << section + "ServerName=\"\"abc\"\"\r\n" << "ServerName" << "\"abc\"";
    QTest::newRow("empty quotes") << section + "ServerName=\"\"\r\n" << "ServerName" << "";
    QTest::newRow("lone quote kept") << section + "ServerName=\"\r\n" << "ServerName" << "\"";
    QTest::newRow("unmatched quotes kept") << section + "ServerName=\"abc'\r\n" << "ServerName" << "\"abc'";
    QTest::newRow("opening quote only kept") << section + "ServerName=\"abc\r\n" << "ServerName" << "\"abc";
    QTest::newRow("quotes inside kept") << section + "ServerName=a \"b\" c\r\n" << "ServerName" << "a \"b\" c";

    // 300 characters "0123456789..." keep the first 254, which end in "...0123".
    QTest::newRow("300 characters") << section + "ServerName=" + digits(300) + "\r\n" << "ServerName"
                                    << QString::fromLatin1(digits(254));
    QTest::newRow("254 characters") << section + "ServerName=" + digits(254) + "\r\n" << "ServerName"
                                    << QString::fromLatin1(digits(254));
    QTest::newRow("300 quoted") << section + "ServerName=\"" + digits(300) + "\"\r\n" << "ServerName"
                                << QString::fromLatin1(digits(254));
    QTest::newRow("= in value") << section + "ServerName=a=b\r\n" << "ServerName" << "a=b";

    const QByteArray mixed = "[Other]\r\nServerName=wrong\r\n"
                             "[SERVER]\r\nUnknown=1\r\nServerPort=6500\r\nServerName=right\r\n"
                             "[Third]\r\nServerName=wrong too\r\nServerIP=wrong\r\n";
    QTest::newRow("other order, extra sections") << mixed << "ServerName" << "right";
    QTest::newRow("other order, later key") << mixed << "ServerPort" << "6500";
    QTest::newRow("key of another section only") << mixed << "ServerIP" << "";
    QTest::newRow("lines before any section") << "ServerName=wrong\r\n[SERVER]\r\nServerName=right\r\n"_ba
                                              << "ServerName" << "right";
    QTest::newRow("key before any section only") << "ServerName=wrong\r\n[SERVER]\r\n"_ba << "ServerName" << "";
    QTest::newRow("line without =") << section + "ServerName\r\nServerName=abc\r\n" << "ServerName" << "abc";
    QTest::newRow("section line without ]") << section + "[Broken\r\nServerName=abc\r\n" << "ServerName" << "abc";

    QTest::newRow("repeated key, first wins") << section + "ServerName=first\r\nServerName=second\r\n"
                                              << "ServerName" << "first";
    QTest::newRow("repeated key, first empty wins") << section + "ServerName=\r\nServerName=second\r\n"
                                                    << "ServerName" << "";
    QTest::newRow("repeated section, first wins") << section + "ServerName=first\r\n" + section + "ServerName=second\r\n"
                                                  << "ServerName" << "first";
    QTest::newRow("repeated section adds keys") << section + "ServerIP=1\r\n" + section + "ServerName=second\r\n"
                                                << "ServerName" << "second";

    // LF and CR alone: see badInput, for all 24 keys.
    QTest::newRow("mixed line ends") << "[SERVER]\n\rServerIP=1\rServerName=abc\n"_ba << "ServerName" << "abc";
    QTest::newRow("no line end at the end") << section + "ServerName=abc" << "ServerName" << "abc";
    QTest::newRow("blank lines") << "\r\n\r\n[SERVER]\r\n\r\n  \r\nServerName=abc\r\n\r\n"_ba << "ServerName" << "abc";

    QTest::newRow("Windows-1252") << section + "ServerName=caf\xE9 \x80\x85\r\n" << "ServerName" << u"café €…"_s;
    QTest::newRow("UTF-8 without mark is Windows-1252") << section + "ServerName=caf\xC3\xA9\r\n" << "ServerName"
                                                        << u"cafÃ©"_s;
    QTest::newRow("UTF-8 byte-order mark") << "\xEF\xBB\xBF" + section + "ServerName=caf\xC3\xA9 \xE2\x82\xAC\r\n"
                                           << "ServerName" << u"café €"_s;
    // Each "é" is two bytes of UTF-8 and one character.
    QTest::newRow("UTF-8, 300 characters") << "\xEF\xBB\xBF" + section + "ServerName=" + "\xC3\xA9"_ba.repeated(300)
                                           << "ServerName" << u"é"_s.repeated(254);
    // Windows editors save "Unicode" text so.
    QTest::newRow("UTF-16 LE byte-order mark") << "\xFF\xFE" + utf16(QStringConverter::Utf16LE, u"[SERVER]\r\nServerName=caf\u00E9 \u6F22\r\n")
                                               << "ServerName" << u"café \u6F22"_s;
    QTest::newRow("UTF-16 BE byte-order mark") << "\xFE\xFF" + utf16(QStringConverter::Utf16BE, u"[server]\nServerName=\U0001F600\n")
                                               << "ServerName" << u"\U0001F600"_s;
    QTest::newRow("UTF-8, bad bytes") << "\xEF\xBB\xBF" + section + "ServerIP=1\xFF\r\nServerName=abc\r\n"
                                      << "ServerName" << "abc";

    QTest::newRow("NUL ends the value") << section + QByteArray("ServerName=ab\0cd\r\n", 18) << "ServerName" << "ab";
    QTest::newRow("NUL lines") << section + QByteArray("\0\0\0\r\nServerName=abc\r\n", 21) << "ServerName" << "abc";
}

void TestProfileReader::rules()
{
    QFETCH(QByteArray, fileText);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    QCOMPARE(ProfileReader::read(fileText, FavouritesFile::profileKeys()).value(u"SERVER", key), expected);
}

void TestProfileReader::loneKeyLeavesTheOthersEmpty()
{
    const ProfileReader reader = ProfileReader::read("[SERVER]\r\nServerIP3=abc\r\n", FavouritesFile::profileKeys());

    QStringList expected(FavouritesFile::KeyCount);
    expected[FavouritesFile::keys().indexOf(u"ServerIP3")] = u"abc"_s;
    QCOMPARE(FavouritesFile::values(reader), expected);
}

void TestProfileReader::onlyKeysAskedForAreKept()
{
    const ProfileReader reader = ProfileReader::read("[SERVER]\r\nServerIP=1\r\nServerName=abc\r\n",
                                                     {{u"SERVER"_s, u"ServerName"_s}});
    QCOMPARE(reader.value(u"server", u"SERVERNAME"), u"abc"_s);
    QCOMPARE(reader.value(u"SERVER", u"ServerIP"), QString());
}

void TestProfileReader::namesOutsideAscii_data()
{
    QTest::addColumn<QByteArray>("fileText");

    // "É" is 0xC9 in Windows-1252 and C3 89 in UTF-8; the names asked for are "Sécurité" and "Café".
    QTest::newRow("Windows-1252") << "[S\xC9\x43URIT\xC9]\r\nCAF\xC9=1\r\n"_ba;
    QTest::newRow("UTF-8") << "\xEF\xBB\xBF[S\xC3\x89\x43URIT\xC3\x89]\r\nCAF\xC3\x89=1\r\n"_ba;
}

void TestProfileReader::namesOutsideAscii()
{
    QFETCH(QByteArray, fileText);

    const ProfileReader reader = ProfileReader::read(fileText, {{u"Sécurité"_s, u"Café"_s}, {u"Sécurité"_s, u"Cafe"_s}});
    QCOMPARE(reader.value(u"sécurité", u"café"), u"1"_s);
    QCOMPARE(reader.value(u"Sécurité", u"Cafe"), QString());
}

void TestProfileReader::badInput_data()
{
    QTest::addColumn<QByteArray>("fileText");

    // As much as a favourites file may hold.
    constexpr qsizetype Cap = FavouritesFile::MaxFileBytes;
    const QByteArray section = "[SERVER]\r\n";

    // 1 MB of bytes that are the same on every run.
    QByteArray garbage(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator random(4);
    random.fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);

    QByteArray fillerKeys;
    fillerKeys.reserve(Cap + 100);
    for (int i = 0; fillerKeys.size() < Cap; ++i)
        fillerKeys += "Filler" + QByteArray::number(i) + "=" + QByteArray(20, 'x') + "\r\n";

    QTest::newRow("16 MiB of other keys first") << section + fillerKeys + favouriteLines();
    QTest::newRow("16 MiB of another section first") << "[Other]\r\n" + fillerKeys + section + favouriteLines();
    QTest::newRow("16 MiB one line first") << QByteArray(Cap, '=') + "\r\n" + section + favouriteLines();
    QTest::newRow("16 MiB after the keys") << section + favouriteLines() + fillerKeys;
    QTest::newRow("binary garbage first") << garbage + "\r\n" + section + favouriteLines();
    // Garbage may hold section lines of its own: the section starts again after it.
    QTest::newRow("binary garbage between")
        << section + favouriteLines().replace("ServerPort3=", garbage + "\r\n" + section + "ServerPort3=");
    QTest::newRow("NUL bytes first") << QByteArray(1024 * 1024, '\0') + "\n" + section + favouriteLines();
    QTest::newRow("1 MB line of a key") << section + "ServerName" + QByteArray(1024 * 1024, 'k') + "=x\r\n" + favouriteLines();
    QTest::newRow("1 MB line of a value") << section + "Other=" + QByteArray(1024 * 1024, 'v') + "\r\n" + favouriteLines();
    QTest::newRow("1 MB section line") << "[" + QByteArray(1024 * 1024, 's') + "]\r\nServerName=x\r\n" + section + favouriteLines();
    QTest::newRow("LF only") << QByteArray(section + favouriteLines()).replace("\r\n", "\n");
    QTest::newRow("CR only") << QByteArray(section + favouriteLines()).replace("\r\n", "\r");
    QTest::newRow("UTF-8 byte-order mark") << "\xEF\xBB\xBF" + section + favouriteLines();
}

void TestProfileReader::badInput()
{
    QFETCH(QByteArray, fileText);

    QElapsedTimer timer;
    timer.start();
    const ProfileReader reader = ProfileReader::read(fileText, FavouritesFile::profileKeys());
    qInfo("%lld bytes read in %lld ms", qlonglong(fileText.size()), qlonglong(timer.elapsed()));

    const QStringList values = FavouritesFile::values(reader);
    for (qsizetype i = 0; i < values.size(); ++i)
        QCOMPARE(values[i], u"v-"_s + FavouritesFile::keys()[i]);
}

void TestProfileReader::binaryGarbageAlone()
{
    QRandomGenerator random(7);
    for (int round = 0; round < 20; ++round) {
        QByteArray garbage(64 * 1024, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
        // Lines the garbage is cut into, some of them section lines.
        for (int i = 0; i < 2000; ++i) {
            const qsizetype at = random.bounded(garbage.size());
            garbage[at] = "\r\n[]="[random.bounded(5)];
        }
        const ProfileReader reader = ProfileReader::read(garbage, FavouritesFile::profileKeys());
        for (const QString &value : FavouritesFile::values(reader))
            QVERIFY(value.size() <= ProfileReader::MaxValueLength);
    }
}

void TestProfileReader::codePageBytes_data()
{
    QTest::addColumn<QByteArray>("bytes"); // null: the text is refused
    QTest::addColumn<QString>("text");

    QTest::newRow("ASCII") << "Zyr 1.2.3.4:6500"_ba << u"Zyr 1.2.3.4:6500"_s;
    QTest::newRow("euro sign") << "\x80"_ba << u"\u20AC"_s;
    QTest::newRow("quotation marks") << "\x93\x94\x91\x92"_ba << u"\u201C\u201D\u2018\u2019"_s;
    QTest::newRow("dashes, ellipsis, trade mark") << "\x96\x97\x85\x99"_ba << u"\u2013\u2014\u2026\u2122"_s;
    QTest::newRow("S, Z, OE with caron/ligature") << "\x8A\x8E\x8C\x9A\x9E\x9C"_ba << u"\u0160\u017D\u0152\u0161\u017E\u0153"_s;
    QTest::newRow("Y diaeresis") << "\x9F\xFF"_ba << u"\u0178\u00FF"_s;
    QTest::newRow("unassigned bytes") << "\x81\x8D\x8F\x90\x9D"_ba << u"\u0081\u008D\u008F\u0090\u009D"_s;
    QTest::newRow("Latin-1 range") << "\xA0\xA9\xC4\xE9\xDF"_ba << u"\u00A0\u00A9\u00C4\u00E9\u00DF"_s;
    QTest::newRow("Greek omega refused") << QByteArray() << u"a\u03A9b"_s;
    QTest::newRow("CJK character refused") << QByteArray() << u"\u4E2D"_s;
    QTest::newRow("emoji, two UTF-16 units, refused") << QByteArray() << u"\U0001F600"_s;
    QTest::newRow("lone surrogate refused") << QByteArray() << u"lone "_s + QChar(0xD800);
}

void TestProfileReader::codePageBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    if (bytes.isNull()) {
        QCOMPARE(CodePage1252::encode(text), std::nullopt);
        return;
    }
    QCOMPARE(CodePage1252::decode(bytes), text);
    QCOMPARE(CodePage1252::encode(text), bytes);
}

void TestProfileReader::codePageRoundTripsEveryByte()
{
    QByteArray all;
    for (int byte = 0; byte < 256; ++byte)
        all.append(char(byte));

    const QString text = CodePage1252::decode(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(CodePage1252::encode(text), all);
}

QTEST_GUILESS_MAIN(TestProfileReader)
#include "tst_profilereader.moc"
