// The watching rules, row by row: answers in, live states and alerts out.
#include "files.h"
#include "watch/favouriteswatch.h"
#include "watch/livemodel.h"
#include "watch/livesettings.h"
#include "watch/livewatch.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <sys/stat.h>

namespace {

const WatchedFavourite Deck{0, QStringLiteral("Deck"), {QStringLiteral("10.0.0.1"), QStringLiteral("6500"), QStringLiteral("0")}};
const WatchedFavourite Other{0, QStringLiteral("Deck"), {QStringLiteral("10.0.0.2"), QStringLiteral("6500"), QStringLiteral("0")}};

// The service's JSON for an online server with `players` humans, "Player1" ...
QByteArray online(int players)
{
    QJsonArray list;
    for (int i = 0; i < players; ++i)
        list.append(QJsonObject{{"name", QStringLiteral("Player%1").arg(i + 1)}});
    const QJsonObject server{{"name", "Server Deck"}, {"map", "DM-Deck"}, {"numPlayers", players}, {"maxPlayers", 16}, {"bots", 3}};
    return QJsonDocument(QJsonObject{{"state", "online"}, {"server", server}, {"players", list}}).toJson();
}

QString said(const QList<LiveAlert> &alerts)
{
    QStringList words;
    for (const LiveAlert &alert : alerts)
        words.append(alert.kind == LiveAlert::Kind::filled ? QStringLiteral("filled") : QStringLiteral("friend"));
    return words.join(QLatin1Char(','));
}

}

class FavouritesWatchTest final : public QObject
{
    Q_OBJECT
private slots:
    void alerts_data();
    void alerts();
    void oneRequestAtATime();
    void friends_data();
    void friends();
    void friendSearches();
    void describes_data();
    void describes();
    void modelLines();
    void settingRead_data();
    void settingRead();
    void settingsFile();
};

void FavouritesWatchTest::alerts_data()
{
    // Each step is a round: "N" an answer with N players, "N:A/B" with the
    // first named A and B, "x" no answer, "junk" an answer that is no JSON,
    // "other" the favourite now names another server (answering with 3),
    // "off" alerts switched off (answering with 3). Alerts are at a minimum
    // of 2 players.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("alerts");
    QTest::newRow("the first answer is the baseline") << QStringList{"3", "3"} << QStringList{"", ""};
    QTest::newRow("filling up at the minimum") << QStringList{"1", "2", "5"} << QStringList{"", "filled", ""};
    QTest::newRow("again only after clearing") << QStringList{"1", "2", "1", "3"} << QStringList{"", "filled", "", "filled"};
    QTest::newRow("one below the minimum stays quiet") << QStringList{"0", "1"} << QStringList{"", ""};
    QTest::newRow("no answer keeps the conditions") << QStringList{"1", "3", "x", "3"} << QStringList{"", "filled", "", ""};
    QTest::newRow("junk is no answer") << QStringList{"1", "junk", "3"} << QStringList{"", "", "filled"};
    QTest::newRow("back after no answer, cleared meanwhile") << QStringList{"3", "x", "0", "x", "3"}
                                                             << QStringList{"", "", "", "", "filled"};
    QTest::newRow("another server is a new baseline") << QStringList{"1", "other", "1", "2"}
                                                      << QStringList{"", "", "", "filled"};
    QTest::newRow("alerts off") << QStringList{"1", "off", "1", "3"} << QStringList{"", "", "", ""};
}

void FavouritesWatchTest::alerts()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, alerts);
    FavouritesWatch watch;
    AlertRules rules{.enabled = true, .minPlayers = 2};
    watch.setRules(rules);
    WatchedFavourite favourite = Deck;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        QString step = steps[i];
        if (step == "other")
            favourite = Other;
        if (step == "off") {
            rules.enabled = false;
            watch.setRules(rules);
        }
        if (step == "other" || step == "off")
            step = "3";
        QCOMPARE(watch.startRound({favourite}).size(), 1);
        std::optional<QByteArray> answer;
        if (step == "junk")
            answer = "<html>not json";
        else if (step != "x")
            answer = online(step.toInt());
        const QList<LiveAlert> given = watch.answered(favourite.server, answer);
        QVERIFY2(said(given) == alerts[i], qPrintable(QStringLiteral("step %1 (%2): %3").arg(i).arg(step, said(given))));
        for (const LiveAlert &alert : given)
            QCOMPARE(alert.favourite.server.address, favourite.server.address);
    }
}

void FavouritesWatchTest::oneRequestAtATime()
{
    FavouritesWatch watch;
    WatchedFavourite same = Deck;
    same.slot = 3;
    // Two slots naming one server ask it once; a round while it is asked asks nothing.
    QCOMPARE(watch.startRound({Deck, same, Other}).size(), 2);
    QCOMPARE(watch.startRound({Deck, same, Other}).size(), 0);
    watch.answered(Deck.server, online(1));
    QCOMPARE(watch.startRound({Deck, Other}).size(), 1);
    // A favourite gone from the file is forgotten, and so is its late answer.
    watch.startRound({Deck});
    QVERIFY(watch.answered(Other.server, online(9)).isEmpty());
    QCOMPARE(watch.state(Other.server).kind, LiveState::Kind::waiting);
}

void FavouritesWatchTest::friends_data()
{
    // Each step is a round's search answer for every watched name ("Alice"
    // and "Zoë"): players on servers "Name@A/Name@B", "Name@A~" offline,
    // "x" no answer, "junk" no JSON. Out come those newly online.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("arrivals");
    QTest::newRow("already there at start") << QStringList{"Alice@A", "Alice@A"} << QStringList{"", ""};
    QTest::newRow("arrives, stays") << QStringList{"", "Alice@A", "Alice@A"} << QStringList{"", "Alice@A", ""};
    QTest::newRow("left and back") << QStringList{"", "Alice@A", "", "ALICE@A"} << QStringList{"", "Alice@A", "", "ALICE@A"};
    QTest::newRow("whole name, any case") << QStringList{"", "Alicea@A/ zoë@B/ZOË@C"} << QStringList{"", "ZOË@C"};
    QTest::newRow("moves to another server") << QStringList{"Alice@A", "Alice@B"} << QStringList{"", "Alice@B"};
    QTest::newRow("on two servers at once") << QStringList{"", "Alice@A/alice@B"} << QStringList{"", "Alice@A,alice@B"};
    QTest::newRow("offline is not there") << QStringList{"", "Alice@A~", "Alice@A"} << QStringList{"", "", "Alice@A"};
    QTest::newRow("no answer keeps what was") << QStringList{"", "Alice@A", "x", "junk", "Alice@A"}
                                              << QStringList{"", "Alice@A", "", "", ""};
    QTest::newRow("no answer is no baseline") << QStringList{"x", "Alice@A", "Alice@A/Zoë@B"} << QStringList{"", "", "Zoë@B"};
}

void FavouritesWatchTest::friends()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, arrivals);
    FriendsWatch watch;
    watch.setNames({"Alice", "Zoë", "alice"});
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const QStringList names = watch.startRound();
        QCOMPARE(names, QStringList({"Alice", "Zoë"}));
        QJsonArray matches;
        for (const QString &entry : steps[i].split('/', Qt::SkipEmptyParts)) {
            const QString server = entry.section('@', 1).remove('~');
            QJsonObject place{{"address", "10.0.0." + server}, {"queryPort", 7777}, {"name", "Server " + server}};
            if (server == "B")
                place.insert("webPort", 8080);
            matches.append(QJsonObject{{"name", entry.section('@', 0, 0)}, {"online", !entry.endsWith('~')},
                                       {"lastSeen", "2026-01-01T00:00:00Z"}, {"server", place}});
        }
        std::optional<QByteArray> answer = QJsonDocument(QJsonObject{{"query", "?"}, {"matches", matches}}).toJson();
        if (steps[i] == "x")
            answer.reset();
        if (steps[i] == "junk")
            answer = "<html>";
        QStringList said;
        for (const QString &name : names)
            for (const FriendOnline &found : watch.answered(name, answer)) {
                said.append(found.player + '@' + found.serverName.section(' ', 1));
                QCOMPARE(found.server.webPort, found.serverName.endsWith('B') ? QStringLiteral("8080") : QStringLiteral("0"));
            }
        QVERIFY2(said.join(',') == arrivals[i], qPrintable(QStringLiteral("step %1: %2").arg(i).arg(said.join(','))));
    }
}

void FavouritesWatchTest::friendSearches()
{
    FriendsWatch watch;
    watch.setNames({"Alice", "Bob"});
    // One search a name at a time; a name dropped is forgotten, and so is its late answer.
    QCOMPARE(watch.startRound(), QStringList({"Alice", "Bob"}));
    QCOMPARE(watch.startRound(), QStringList());
    watch.answered("Alice", QByteArray(R"({"matches":[]})"));
    QCOMPARE(watch.startRound(), QStringList({"Alice"}));
    watch.setNames({"Alice"});
    QVERIFY(watch.answered("Bob", QByteArray(R"({"matches":[{"name":"Bob","online":true,"server":{"address":"10.0.0.1","queryPort":7777}}]})")).isEmpty());
    QVERIFY(watch.online().isEmpty());
    // The address the search goes to: the name encoded whole.
    QCOMPARE(LiveWatch::searchAddress("127.0.0.1:8650", "A&B +#ö").toString(QUrl::FullyEncoded),
             QStringLiteral("http://127.0.0.1:8650/players?name=A%26B%20%2B%23%C3%B6&format=json"));
}

void FavouritesWatchTest::describes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("line");
    QTest::newRow("favourite's name") << "Deck" << online(5) << "Deck — 5/16 players — DM-Deck";
    QTest::newRow("server's name") << " " << online(0) << "Server Deck — 0/16 players — DM-Deck";
    QTest::newRow("no answer") << "Deck" << QByteArray() << "Deck — no answer";
    QTest::newRow("the service could not reach it")
        << "Deck" << QByteArray(R"({"state":"timeout","server":null,"players":[]})") << "Deck — no answer";
    QTest::newRow("neither name") << "" << QByteArray() << "10.0.0.1 — no answer";
}

void FavouritesWatchTest::describes()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, answer);
    QFETCH(QString, line);
    FavouritesWatch watch;
    WatchedFavourite favourite = Deck;
    favourite.name = name;
    watch.startRound({favourite});
    watch.answered(favourite.server, answer.isEmpty() ? std::nullopt : std::optional(answer));
    QCOMPARE(FavouritesWatch::describe(favourite, watch.state(favourite.server)), line);
}

void FavouritesWatchTest::modelLines()
{
    LiveModel model;
    QSignalSpy favouritesChanged(&model, &LiveModel::favouritesChanged);
    QSignalSpy friendsChanged(&model, &LiveModel::friendsChanged);
    WatchedFavourite third = Other;
    third.slot = 2;
    const QList<LiveModel::Favourite> favourites{{Deck, {}}, {third, {.kind = LiveState::Kind::noAnswer}}};
    model.setFavourites(favourites);
    model.setFavourites(favourites); // the same again tells nobody
    QCOMPARE(favouritesChanged.size(), 1);
    QCOMPARE(model.favouriteLines(), QStringList({"Deck — asking…", "Deck — no answer"}));
    QCOMPARE(model.favouriteLinesBySlot(), QStringList({"Deck — asking…", "", "Deck — no answer", "", "", ""}));

    model.setFriends({{"Alice", "Big Warfare", {"10.0.0.9", "7777", "0"}}, {"bob", " ", {"10.0.0.8", "6500", "80"}}});
    QCOMPARE(friendsChanged.size(), 1);
    QCOMPARE(model.friendLines(), QStringList({"Alice — Big Warfare", "bob — 10.0.0.8:6500"}));
    QCOMPARE(favouritesChanged.size(), 1);
}

void FavouritesWatchTest::settingRead_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("result"); // the value as written back, or the message's start
    QTest::newRow("trimmed") << "live/refreshSeconds" << " 10 " << "10";
    QTest::newRow("refresh too short") << "live/refreshSeconds" << "9" << "The refresh time in seconds must be a whole number from 10 to 86400; it was \"9\".";
    QTest::newRow("refresh not a number") << "live/refreshSeconds" << "1e2" << "The refresh time in seconds must";
    QTest::newRow("no minimum") << "alerts/minPlayers" << "" << "The number of players to alert at must be a whole number from 1 to 64; it was \"\".";
    QTest::newRow("minimum too high") << "alerts/minPlayers" << "65" << "The number of players to alert at must";
    QTest::newRow("flag in any case") << "alerts/enabled" << " FALSE " << "false";
    QTest::newRow("flag neither") << "alerts/enabled" << "maybe" << "Whether to alert must be true or false; it was \"maybe\".";
    QTest::newRow("names trimmed, once") << "alerts/names" << " Bob ,, bob,Zoë " << "Bob, Zoë";
    QTest::newRow("name too long") << "alerts/names" << QString(65, 'n') << "A watched name may have at most 64 characters";
}

void FavouritesWatchTest::settingRead()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(QString, result);
    const auto &all = SettingDeclaration::all();
    const auto setting = std::find_if(all.begin(), all.end(), [&](const SettingDeclaration &s) { return s.key == key; });
    QVERIFY(setting != all.end());
    LiveSettings settings;
    const common::Expected<common::Done> read = setting->read(text, settings);
    if (read.ok())
        QCOMPARE(setting->text(settings), result);
    else
        QVERIFY2(QString::fromStdString(read.fault().message).startsWith(result), read.fault().message.c_str());
}

void FavouritesWatchTest::settingsFile()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("skirvane.conf");
    QVERIFY(writeRaw(path, "[live]\nrefreshSeconds=5\n[alerts]\nenabled=maybe\nminPlayers=3\nnames=Bob, Zoë\n[other]\nkept=1\n"));
    // Bad values read as their defaults and are named.
    const common::Expected<LiveSettings::Loaded> loaded = LiveSettings::load(path);
    QVERIFY(loaded.ok());
    LiveSettings settings = loaded->settings;
    QCOMPARE(settings.refreshSeconds, 60);
    QVERIFY(settings.alertsEnabled);
    QCOMPARE(settings.minPlayers, 3);
    QCOMPARE(settings.names, QStringList({"Bob", "Zoë"}));
    QCOMPARE(loaded->ignored.size(), 2);
    QVERIFY(loaded->ignored[0].message.starts_with("live/refreshSeconds: ")
            && loaded->ignored[1].message.find("\"maybe\"") != std::string::npos);

    // Saved whole, other keys kept, read back the same.
    settings.names = {"Ann", "Zoë"};
    settings.alertsEnabled = false;
    QVERIFY(settings.save(path).ok());
    QCOMPARE(LiveSettings::load(path)->settings, settings);
    QCOMPARE(QSettings(path, QSettings::IniFormat).value("other/kept").toString(), QStringLiteral("1"));

    // Where the file cannot be written, nothing is.
    const QString blocked = folder.filePath("file/skirvane.conf");
    QVERIFY(writeRaw(folder.filePath("file"), {}));
    const common::Expected<common::Done> failed = settings.save(blocked);
    QVERIFY(!failed.ok() && QString::fromStdString(failed.fault().message).contains(blocked));

    // A named pipe in the file's place is not opened: it would wait for a writer.
    const QString pipe = folder.filePath("pipe.conf");
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const common::Expected<LiveSettings::Loaded> fromPipe = LiveSettings::load(pipe);
    QVERIFY(!fromPipe.ok());
    QVERIFY2(fromPipe.fault().message.find("a named pipe") != std::string::npos, fromPipe.fault().message.c_str());
}

QTEST_GUILESS_MAIN(FavouritesWatchTest)
#include "tst_favouriteswatch.moc"
