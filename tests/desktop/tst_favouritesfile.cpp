#include "favourites/favouritesfile.h"
#include "favourites/filewriter.h"
#include "files.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

#define VERIFY_SAVED(call)                                                                                  \
    do {                                                                                                    \
        const common::Expected<common::Done> saved = (call);                                                \
        QVERIFY2(saved.ok(), saved.ok() ? "" : saved.fault().message.c_str());                              \
    } while (false)

namespace {

// Acts as an ordinary user while it lives when the test runs as root, for
// whom permissions do not bind.
class OrdinaryUser final
{
public:
    OrdinaryUser()
    {
        // nobody, in the group nogroup
        if (::geteuid() == 0)
            m_switched = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
    }
    ~OrdinaryUser()
    {
        if (m_switched && ::seteuid(0) == 0)
            ::setegid(0);
    }
    Q_DISABLE_COPY_MOVE(OrdinaryUser)

private:
    bool m_switched = false;
};

// The call's result, with no file of this process let grow beyond `bytes`
// while it runs; binds root too.
template<class Call>
auto withFileSizeLimit(rlim_t bytes, Call call)
{
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    auto result = call();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    return result;
}

const QStringList Empty24(FavouritesFile::KeyCount);

}

class TestFavouritesFile final : public QObject
{
    Q_OBJECT

private slots:
    void keysSectionAndPath();

    void saveText_data();
    void saveText();

    void saveThenReadBack();
    void savedValueReadsBack_data();
    void savedValueReadsBack();
    void readAndSavedOver_data();
    void readAndSavedOver();

    void removesOldLeftoversOfKilledSaves();
    void configFolder_data();
    void configFolder();
};

void TestFavouritesFile::keysSectionAndPath()
{
    QStringList expected;
    for (const QString &slot : {u""_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s})
        expected += {u"ServerName"_s + slot, u"ServerIP"_s + slot, u"ServerPort"_s + slot, u"Serverwport"_s + slot};
    QCOMPARE(FavouritesFile::keys(), expected);
    QCOMPARE(FavouritesFile::section(), u"SERVER"_s);
    QCOMPARE(FavouritesFile::iniPath(u"/opt/skirvane"_s), u"/opt/skirvane/ut3servers.ini"_s);
    QCOMPARE(FavouritesFile::iniPath(u"/"_s), u"//ut3servers.ini"_s); // the root folder keeps its separator
}

void TestFavouritesFile::saveText_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QByteArray>("expected");

    // "[SERVER]" is 10 bytes with its line end; the keys of slot 1 take
    // 10 + 8 + 10 + 11 = 39 bytes, those of each later slot 4 more for the
    // digit; each line adds "=" and CR LF: 10 + 39 + 5 * 43 + 24 * 3 = 336.
    const QByteArray empty = "[SERVER]\r\n"
                             "ServerName=\r\nServerIP=\r\nServerPort=\r\nServerwport=\r\n"
                             "ServerName2=\r\nServerIP2=\r\nServerPort2=\r\nServerwport2=\r\n"
                             "ServerName3=\r\nServerIP3=\r\nServerPort3=\r\nServerwport3=\r\n"
                             "ServerName4=\r\nServerIP4=\r\nServerPort4=\r\nServerwport4=\r\n"
                             "ServerName5=\r\nServerIP5=\r\nServerPort5=\r\nServerwport5=\r\n"
                             "ServerName6=\r\nServerIP6=\r\nServerPort6=\r\nServerwport6=\r\n";
    QCOMPARE(empty.size(), 336);
    QTest::newRow("all empty") << Empty24 << empty;

    // 24 values of three bytes more: 408.
    QByteArray abc = empty;
    abc.replace("=\r\n", "=abc\r\n");
    QCOMPARE(abc.size(), 408);
    QTest::newRow("all abc") << QStringList(FavouritesFile::KeyCount, u"abc"_s) << abc;

    QStringList slot2 = Empty24;
    slot2[4] = u"  Zyr's \"best\" = 1  "_s;
    slot2[5] = u"10.0.0.2"_s;
    slot2[6] = u"6500"_s;
    slot2[7] = u"0"_s;
    QByteArray slot2Text = empty;
    slot2Text.replace("ServerName2=\r\nServerIP2=\r\nServerPort2=\r\nServerwport2=\r\n",
                      "ServerName2=  Zyr's \"best\" = 1  \r\nServerIP2=10.0.0.2\r\nServerPort2=6500\r\nServerwport2=0\r\n");
    QTest::newRow("values unchanged") << slot2 << slot2Text;
}

void TestFavouritesFile::saveText()
{
    QFETCH(QStringList, values);
    QFETCH(QByteArray, expected);

    QCOMPARE(FavouritesFile::saveText(values), expected);
}

void TestFavouritesFile::saveThenReadBack()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = FavouritesFile::iniPath(dir.path());

    QStringList values;
    for (int slot = 1; slot <= FavouritesFile::SlotCount; ++slot)
        values << u"Server \u00C4 %1"_s.arg(slot) << u"10.0.%1.1"_s.arg(slot) << u"65%1"_s.arg(slot) << u"%1"_s.arg(slot);
    values[1] = u"a=b"_s;
    values[2] = u"x"_s.repeated(ProfileReader::MaxValueLength);
    values[3] = QString();

    VERIFY_SAVED(FileWriter::replaceFile(path, FavouritesFile::saveText(values)));

    QCOMPARE(contentOf(path), FavouritesFile::saveText(values));
    QCOMPARE(FavouritesFile::load(path).value(), values);
}

void TestFavouritesFile::savedValueReadsBack_data()
{
    QTest::addColumn<QString>("written");  // into slot 1
    QTest::addColumn<QByteArray>("start"); // how the saved text starts
    QTest::addColumn<QString>("read");

    const QByteArray utf8 = "\xEF\xBB\xBF[SERVER]\r\nServerName=";
    QTest::newRow("a=b") << u"a=b"_s << "[SERVER]\r\nServerName=a=b\r\n"_ba << u"a=b"_s;
    QTest::newRow("blanks around") << u"  my server  "_s << "[SERVER]\r\nServerName=  my"_ba << u"my server"_s;
    QTest::newRow("quotation marks") << u"\"my server\""_s << "[SERVER]\r\nServerName=\"my"_ba << u"my server"_s;
    QTest::newRow("300 characters") << u"y"_s.repeated(300) << "[SERVER]"_ba << u"y"_s.repeated(254);
    QTest::newRow("Windows-1252 fits") << u"caf\u00E9 \u20AC"_s << "[SERVER]\r\nServerName=caf\xE9 \x80\r\n"_ba
                                       << u"caf\u00E9 \u20AC"_s;
    // Outside the code page the whole file is UTF-8, the same 25 lines.
    QTest::newRow("outside the code page") << u"\u03A9mega"_s << utf8 + "\xCE\xA9mega\r\n" << u"\u03A9mega"_s;
    QTest::newRow("CJK and Latin-1") << u"\u6F22\u5B57 Clan \u00E9"_s << utf8 + "\xE6\xBC\xA2\xE5\xAD\x97 Clan \xC3\xA9\r\n"
                                     << u"\u6F22\u5B57 Clan \u00E9"_s;
    QTest::newRow("emoji") << u"\U0001F600"_s << utf8 + "\xF0\x9F\x98\x80\r\n" << u"\U0001F600"_s;
}

void TestFavouritesFile::savedValueReadsBack()
{
    QFETCH(QString, written);
    QFETCH(QByteArray, start);
    QFETCH(QString, read);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = FavouritesFile::iniPath(dir.path());
    QStringList values = Empty24;
    values[0] = written;

    VERIFY_SAVED(FavouritesFile::save(path, values));

    const QByteArray text = contentOf(path);
    QVERIFY2(text.startsWith(start), text.left(60).toHex(' ').constData());
    QCOMPARE(text.count("\r\n"), 25);
    values[0] = read;
    QCOMPARE(FavouritesFile::load(path).value(), values);
}

enum class Read { NotRead, Silent, Told }; // Silent, Told: all empty, without or with why
Q_DECLARE_METATYPE(Read)

void TestFavouritesFile::readAndSavedOver_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<Read>("read");
    QTest::addColumn<QString>("reason"); // why saving over it fails; empty: it is saved

    QTest::newRow("no file") << u"none"_s << Read::Silent << QString();
    QTest::newRow("empty file") << u"empty"_s << Read::Silent << QString();
    QTest::newRow("longer file replaced whole") << u"longer"_s << Read::NotRead << QString();
    QTest::newRow("over 16 MiB") << u"huge"_s << Read::Told << QString();
    QTest::newRow("folder in the file's place") << u"folder"_s << Read::Told << u"directory"_s;
    QTest::newRow("path under a regular file") << u"under file"_s << Read::NotRead << u"Not a directory"_s;
    QTest::newRow("file too large (as on a full disk)") << u"size limit"_s << Read::NotRead << u"too large"_s;
    QTest::newRow("unreadable file, read-only folder") << u"read-only"_s << Read::Told << u"folder"_s;
    QTest::newRow("line break in a value") << u"line break"_s << Read::NotRead << u"field ServerName2 holds a line break"_s;
    QTest::newRow("link to a character device") << u"device link"_s << Read::Told << u"a character device"_s;
    QTest::newRow("named pipe") << u"pipe"_s << Read::Told << u"a named pipe"_s;
}

void TestFavouritesFile::readAndSavedOver()
{
    QFETCH(QString, place);
    QFETCH(Read, read);
    QFETCH(QString, reason);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = FavouritesFile::iniPath(dir.path());
    const QByteArray old = "[SERVER]\r\nServerName=old\r\n";
    QStringList values(FavouritesFile::KeyCount, u"new"_s);
    const QByteArray text = FavouritesFile::saveText(values);
    std::optional<OrdinaryUser> user;

    if (place == u"empty") {
        QVERIFY(writeRaw(path, {}));
    } else if (place == u"longer") {
        QVERIFY(writeRaw(path, "[SERVER]\r\nServerName=" + QByteArray(4000, 'o') + "\r\n[Other]\r\nKey=1\r\n"));
    } else if (place == u"huge") {
        QVERIFY(writeRaw(path, old));
        QVERIFY(QFile::resize(path, FavouritesFile::MaxFileBytes + 1)); // sparse: takes no room
    } else if (place == u"folder") {
        QVERIFY(QDir(dir.path()).mkdir(u"ut3servers.ini"_s));
        QVERIFY(writeRaw(path + u"/ut3servers.ini"_s, old));
    } else if (place == u"under file") {
        QVERIFY(writeRaw(dir.filePath(u"plain"_s), old));
        path = FavouritesFile::iniPath(dir.filePath(u"plain"_s));
    } else if (place == u"size limit" || place == u"line break") {
        QVERIFY(writeRaw(path, old));
    } else if (place == u"read-only") {
        // The file itself could be written in place, but not read.
        QVERIFY(writeRaw(path, old));
        QVERIFY(QFile::setPermissions(path, QFile::WriteOwner | QFile::WriteOther));
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
        user.emplace();
    } else if (place == u"device link") {
        QVERIFY(QFile::link(u"/dev/null"_s, path));
    } else if (place == u"pipe") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    }

    if (read != Read::NotRead) {
        const common::Expected<QStringList> loaded = FavouritesFile::load(path);
        // Nothing to say about a file that is not there, or empty; the rest say why.
        QCOMPARE(loaded.ok(), read == Read::Silent);
        if (loaded) {
            QCOMPARE(*loaded, Empty24);
        } else {
            const QString problem = QString::fromStdString(loaded.fault().message);
            QVERIFY2(problem.contains(QDir::toNativeSeparators(path)), qPrintable(problem));
            qInfo("%s", qPrintable(problem));
        }
    }

    common::Expected<common::Done> saved = common::Done{};
    if (place == u"size limit") {
        saved = withFileSizeLimit(rlim_t(text.size() / 2), [&] { return FileWriter::replaceFile(path, text); });
    } else if (place == u"line break") {
        values[4] = u"Mine\nServerIP=6.6.6.6"_s;
        saved = FavouritesFile::save(path, values);
    } else {
        saved = FileWriter::replaceFile(path, text);
    }
    user.reset();
    if (place == u"read-only")
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    if (place == u"folder")
        QVERIFY(QFileInfo(path).isDir());
    if (place == u"under file")
        QCOMPARE(contentOf(dir.filePath(u"plain"_s)), old);
    if (place == u"size limit" || place == u"read-only" || place == u"line break")
        QCOMPARE(contentOf(path), old);
    if (place == u"device link")
        QVERIFY(QFileInfo(u"/dev/null"_s).exists() && !QFileInfo(u"/dev/null"_s).isFile() && QFileInfo(path).isSymLink());
    if (place == u"pipe")
        QVERIFY(!QFileInfo(path).isFile());
    // Nothing left behind beside the old content or the new.
    const QStringList left = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    QVERIFY2(left.size() == 1, qPrintable(left.join(u", ")));
    if (reason.isEmpty()) {
        QVERIFY2(saved.ok(), saved.ok() ? "" : saved.fault().message.c_str());
        QCOMPARE(contentOf(path), text);
        QCOMPARE(left, QStringList{u"ut3servers.ini"_s});
        return;
    }
    QVERIFY(!saved.ok());
    const QString message = QString::fromStdString(saved.fault().message);
    qInfo("%s", qPrintable(message));
    QVERIFY2(message.contains(QDir::toNativeSeparators(path)), qPrintable(message));
    QVERIFY2(message.contains(reason, Qt::CaseInsensitive), qPrintable(message));
}

void TestFavouritesFile::removesOldLeftoversOfKilledSaves()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = FavouritesFile::iniPath(dir.path());
    const QDateTime twoMinutesAgo = QDateTime::currentDateTime().addSecs(-120);
    const QStringList names = {u"ut3servers.ini.aB3xYz"_s, u"ut3servers.ini.Qw12er"_s, u"ut3servers.ini.old"_s,
                               u"other.ini.aB3xYz"_s};
    for (const QString &name : names) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (name != u"ut3servers.ini.Qw12er") // the one a running save may still own
            QVERIFY(file.setFileTime(twoMinutesAgo, QFileDevice::FileModificationTime));
    }

    VERIFY_SAVED(FavouritesFile::save(path, Empty24));

    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             (QStringList{u"other.ini.aB3xYz"_s, u"ut3servers.ini"_s, u"ut3servers.ini.Qw12er"_s, u"ut3servers.ini.old"_s}));
}

void TestFavouritesFile::configFolder_data()
{
    QTest::addColumn<QByteArray>("xdgConfigHome");
    QTest::addColumn<QString>("expected");

    const QString home = QDir::homePath();
    QTest::newRow("set") << "/srv/config"_ba << u"/srv/config/skirvane"_s;
    QTest::newRow("empty") << ""_ba << home + u"/.config/skirvane"_s;
    QTest::newRow("relative, so not valid") << "config"_ba << home + u"/.config/skirvane"_s;
}

void TestFavouritesFile::configFolder()
{
    QFETCH(QByteArray, xdgConfigHome);
    QFETCH(QString, expected);

    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const bool wasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", xdgConfigHome);
    const QString folder = FavouritesFile::configFolder();
    if (wasSet)
        qputenv("XDG_CONFIG_HOME", saved);
    else
        qunsetenv("XDG_CONFIG_HOME");
    QCOMPARE(folder, expected);
}

QTEST_GUILESS_MAIN(TestFavouritesFile)
#include "tst_favouritesfile.moc"
