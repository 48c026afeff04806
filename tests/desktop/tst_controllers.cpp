#include "core/progresssequence.h"
#include "core/saveflow.h"
#include "core/serverquery.h"

#include <QTest>

namespace {

// Ticked by hand: a tick is a call, never a wait.
struct FakeClock final : Ticker
{
    bool enabled = false;
    bool isEnabled() const override { return enabled; }
    void setEnabled(bool e) override { enabled = e; }
};

// Ticks the clock while it runs; returns the ticks it took.
template<class Controller>
int runOut(FakeClock &clock, Controller &controller)
{
    int ticks = 0;
    for (; clock.enabled && ticks < 100; ++ticks)
        controller.tick();
    return ticks;
}

const QString PresetIp = QStringLiteral("192.0.2.44");
const QString Base = QStringLiteral("http://h/Zyr/Skirvane/skirvane.php?serverip=");

}

using SaveState = SaveFlow::State;
Q_DECLARE_METATYPE(SaveFlow::State)
Q_DECLARE_METATYPE(ServerQuery::Preset)

class TestControllers final : public QObject
{
    Q_OBJECT
private slots:
    void sequence_data();
    void sequence();

    void presets_data();
    void presets();
    void querySendsTheBoxesAsTheyReadAtTheEnd();
    void beginWithValuesFillsTheBoxesFirst();

    void save_data();
    void save();
};

// "start" clicks, "tick" ticks once, "end" ticks the clock out. Each value
// the bar shows is recorded, and the action as "act" when it runs while the
// bar still reads 100 and the clock still runs ("act?" otherwise).
void TestControllers::sequence_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("events");

    const QString run = QStringLiteral("10 20 30 40 50 60 70 80 90 100 act 0");
    QTest::newRow("ten steps from zero, then the action") << QStringList{"start", "end"} << run;
    QTest::newRow("a second start goes on from where the bar is")
        << QStringList{"start", "tick", "tick", "tick", "tick", "tick", "start", "end"} << run;
    QTest::newRow("a start afterwards begins from an empty bar") << QStringList{"start", "end", "start", "end"}
                                                                 << run + QLatin1Char(' ') + run;
}

void TestControllers::sequence()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, events);

    FakeClock clock;
    QStringList happened;
    ProgressSequence *self = nullptr;
    ProgressSequence sequence(
        clock, [&] { happened += self->value() == 100.0f && clock.enabled ? "act" : "act?"; },
        [&](float v) { happened += QString::number(v); });
    self = &sequence;
    QCOMPARE(sequence.state(), ProgressSequence::State::Idle);
    for (const QString &step : steps) {
        if (step == QLatin1String("start")) {
            sequence.start();
            QCOMPARE(sequence.state(), ProgressSequence::State::Running);
        } else if (step == QLatin1String("tick")) {
            sequence.tick();
        } else {
            runOut(clock, sequence);
        }
    }
    QCOMPARE(happened.join(QLatin1Char(' ')), events);
    QCOMPARE(sequence.state(), ProgressSequence::State::Idle);
}

// A query over boxes that open with their prompts, recording the addresses it sends.
struct QueryRig
{
    FakeClock clock;
    ServerValues boxes{QString(), QStringLiteral("Query Port"), QStringLiteral("Server Web Port")};
    QStringList sent;
    ServerQuery query{Base, PresetIp, clock,
                      {.boxes = [this] { return boxes; },
                       .showBoxes = [this](const ServerValues &v) { boxes = v; },
                       .showProgress = [](float) {},
                       .navigate = [this](const QString &address) { sent += address; }}};
};

void TestControllers::presets_data()
{
    QTest::addColumn<QList<int>>("picks");
    QTest::addColumn<ServerQuery::Preset>("preset");
    QTest::addColumn<QStringList>("boxes"); // address, query port, web port

    using enum ServerQuery::Preset;
    const QStringList prompts{"", "Query Port", "Server Web Port"};
    QTest::newRow("{Zyr}") << QList<int>{0} << BuiltIn << QStringList{PresetIp, "6500", "0"};
    QTest::newRow("Custom after {Zyr} empties only the address") << QList<int>{0, 1} << Custom << QStringList{"", "6500", "0"};
    QTest::newRow("{Zyr} after Custom") << QList<int>{1, 0} << BuiltIn << QStringList{PresetIp, "6500", "0"};
    QTest::newRow("nothing picked") << QList<int>{-1} << None << prompts;
    QTest::newRow("past the list") << QList<int>{2} << None << prompts;
}

void TestControllers::presets()
{
    QFETCH(QList<int>, picks);
    QFETCH(ServerQuery::Preset, preset);
    QFETCH(QStringList, boxes);

    QueryRig rig;
    for (int pick : picks)
        rig.query.pick(pick);
    QCOMPARE(rig.query.preset(), preset);
    QCOMPARE((QStringList{rig.boxes.address, rig.boxes.queryPort, rig.boxes.webPort}), boxes);
    QVERIFY(rig.sent.isEmpty());
    QVERIFY(!rig.clock.enabled);
}

void TestControllers::querySendsTheBoxesAsTheyReadAtTheEnd()
{
    QueryRig rig;
    rig.query.pick(0);
    rig.query.begin();
    for (int tick = 0; tick < 3; ++tick)
        rig.query.tick();
    rig.boxes.address = QStringLiteral("edited host");
    rig.boxes.webPort = QString::fromUtf8("wört");
    QCOMPARE(runOut(rig.clock, rig.query), 8);
    QCOMPARE(rig.sent, QStringList{Base + QString::fromUtf8("edited host&serverqport=6500&serverwport=wört")});
    QCOMPARE(rig.query.sequence().value(), 0.0f);
}

void TestControllers::beginWithValuesFillsTheBoxesFirst()
{
    QueryRig rig;
    rig.query.begin({QStringLiteral("10.0.0.1"), QStringLiteral("7787"), QStringLiteral("8080")});
    QCOMPARE(rig.boxes.address, QStringLiteral("10.0.0.1"));
    QVERIFY(rig.sent.isEmpty());
    QCOMPARE(runOut(rig.clock, rig.query), 11);
    QCOMPARE(rig.sent, QStringList{Base + QStringLiteral("10.0.0.1&serverqport=7787&serverwport=8080")});
}

struct SaveView
{
    bool replacesAFile = true;
    QStringList events;
    SaveFlow::View view()
    {
        return {.showProgress = [](float) {},
                .replacesAFile = [this] { return replacesAFile; },
                .ask = [this](const QString &problem) { events += QStringLiteral("ask: ") + problem; },
                .write = [this](bool closing) { events += closing ? QStringLiteral("write closing")
                                                                  : QStringLiteral("write"); },
                .close = [this] { events += QStringLiteral("close"); }};
    }
};

// What happens, one word a step: "save" clicks Save, "end" ticks the
// sequence out, "tick" ticks once, "close" asks the window to close (the
// answer is recorded as "close: yes" or "close: no"), "yes"/"no" answer the
// question.
void TestControllers::save_data()
{
    QTest::addColumn<QString>("readProblem");
    QTest::addColumn<bool>("replacesAFile");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<SaveState>("state");

    const QStringList none;
    QTest::newRow("a read file is written at the end") << "" << true << QStringList{"save", "end"}
                                                       << QStringList{"write"} << SaveState::Editing;
    QTest::newRow("counting") << "" << true << QStringList{"save", "tick"} << none << SaveState::Counting;
    QTest::newRow("closing while counting still writes")
        << "" << true << QStringList{"save", "tick", "tick", "close"} << QStringList{"write closing", "close: yes"}
        << SaveState::Editing;
    QTest::newRow("closing when idle writes nothing")
        << "" << true << QStringList{"close"} << QStringList{"close: yes"} << SaveState::Editing;
    QTest::newRow("an unreadable file asks") << "too large" << true << QStringList{"save", "end"}
                                             << QStringList{"ask: too large"} << SaveState::Asking;
    QTest::newRow("no keeps the file") << "too large" << true << QStringList{"save", "end", "no"}
                                       << QStringList{"ask: too large"} << SaveState::Editing;
    QTest::newRow("yes replaces it") << "too large" << true << QStringList{"save", "end", "yes"}
                                     << QStringList{"ask: too large", "write"} << SaveState::Editing;
    QTest::newRow("once replaced, a save no longer asks")
        << "too large" << true << QStringList{"save", "end", "yes", "save", "end"}
        << QStringList{"ask: too large", "write", "write"} << SaveState::Editing;
    QTest::newRow("no then yes") << "too large" << true << QStringList{"save", "end", "no", "save", "end", "yes"}
                                 << QStringList{"ask: too large", "ask: too large", "write"} << SaveState::Editing;
    QTest::newRow("closing while counting waits for the answer")
        << "too large" << true << QStringList{"save", "tick", "close"}
        << QStringList{"ask: too large", "close: no"} << SaveState::AskingBeforeClose;
    QTest::newRow("then yes writes and closes")
        << "too large" << true << QStringList{"save", "tick", "close", "yes", "close"}
        << QStringList{"ask: too large", "close: no", "write closing", "close", "close: yes"} << SaveState::Editing;
    QTest::newRow("then no closes without writing")
        << "too large" << true << QStringList{"save", "tick", "close", "no"}
        << QStringList{"ask: too large", "close: no", "close"} << SaveState::Editing;
    QTest::newRow("closing while asked abandons the question")
        << "too large" << true << QStringList{"save", "end", "close"} << QStringList{"ask: too large", "close: yes"}
        << SaveState::Asking;
    QTest::newRow("not a file: the save itself refuses, unasked")
        << "a folder" << false << QStringList{"save", "end"} << QStringList{"write"} << SaveState::Editing;
    QTest::newRow("not a file, closing") << "a folder" << false << QStringList{"save", "close"}
                                         << QStringList{"write closing", "close: yes"} << SaveState::Editing;
}

void TestControllers::save()
{
    QFETCH(QString, readProblem);
    QFETCH(bool, replacesAFile);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, events);
    QFETCH(SaveState, state);

    FakeClock clock;
    SaveView view;
    view.replacesAFile = replacesAFile;
    SaveFlow flow(clock, view.view());
    flow.setReadProblem(readProblem);
    for (const QString &step : steps) {
        if (step == QLatin1String("save"))
            flow.save();
        else if (step == QLatin1String("end"))
            runOut(clock, flow);
        else if (step == QLatin1String("tick"))
            flow.tick();
        else if (step == QLatin1String("close"))
            view.events += flow.mayClose() ? QStringLiteral("close: yes") : QStringLiteral("close: no");
        else
            flow.answered(step == QLatin1String("yes"));
    }
    QCOMPARE(view.events, events);
    QCOMPARE(flow.state(), state);
    // A close always stops the sequence; the bar keeps its value.
    if (steps.contains(QLatin1String("close")))
        QVERIFY(!clock.enabled);
}

QTEST_GUILESS_MAIN(TestControllers)
#include "tst_controllers.moc"
