#include "core/progresssequence.h"

#include <QTest>

namespace {

struct FakeBar
{
    float v = 0.0f;
    int writes = 0;
    float value() const { return v; }
    void setValue(float value)
    {
        v = value;
        ++writes;
    }
};

struct FakeTimer
{
    bool enabled = true;
    void setEnabled(bool e) { enabled = e; }
};

}

class TestProgressSequence final : public QObject
{
    Q_OBJECT
private slots:
    void fromZeroTenStepsThenTheAction();
    void thresholdIsInclusive_data();
    void thresholdIsInclusive();
    void actionSeesFullBarAndRunningTimer();
    void secondStartWhileRunningStillActsOnce();
};

void TestProgressSequence::fromZeroTenStepsThenTheAction()
{
    FakeBar bar;
    FakeTimer timer;
    int actions = 0;
    QList<float> seen;
    for (int tick = 1; tick <= 11; ++tick) {
        ProgressSequence::tick(bar, timer, [&] { ++actions; });
        seen += bar.value();
        if (tick <= 10)
            QCOMPARE(actions, 0);
    }
    QCOMPARE(seen, (QList<float>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 0}));
    QCOMPARE(actions, 1);
    QVERIFY(!timer.enabled);
}

void TestProgressSequence::thresholdIsInclusive_data()
{
    QTest::addColumn<float>("start");
    QTest::addColumn<bool>("acts");
    QTest::addColumn<float>("after");

    QTest::newRow("90 still steps") << 90.0f << false << 100.0f;
    QTest::newRow("just above 90 acts") << 90.00001f << true << 0.0f;
    QTest::newRow("75 steps to 85") << 75.0f << false << 85.0f;
    QTest::newRow("85 steps to 95") << 85.0f << false << 95.0f;
    QTest::newRow("95 acts") << 95.0f << true << 0.0f;
    QTest::newRow("a bar left above its range acts") << 250.0f << true << 0.0f;
}

void TestProgressSequence::thresholdIsInclusive()
{
    QFETCH(float, start);
    QFETCH(bool, acts);
    QFETCH(float, after);

    FakeBar bar{start};
    FakeTimer timer;
    bool acted = false;
    ProgressSequence::tick(bar, timer, [&] { acted = true; });
    QCOMPARE(acted, acts);
    QCOMPARE(bar.value(), after);
    QCOMPARE(timer.enabled, !acts);
}

void TestProgressSequence::actionSeesFullBarAndRunningTimer()
{
    FakeBar bar{100.0f};
    FakeTimer timer;
    float barDuringAction = -1;
    bool timerDuringAction = false;
    ProgressSequence::tick(bar, timer, [&] {
        barDuringAction = bar.value();
        timerDuringAction = timer.enabled;
    });
    QCOMPARE(barDuringAction, 100.0f);
    QVERIFY(timerDuringAction);
    QCOMPARE(bar.value(), 0.0f);
    QVERIFY(!timer.enabled);
}

void TestProgressSequence::secondStartWhileRunningStillActsOnce()
{
    // A second click only enables the timer again; the bar keeps its value.
    FakeBar bar;
    FakeTimer timer;
    int actions = 0;
    for (int tick = 0; tick < 5; ++tick)
        ProgressSequence::tick(bar, timer, [&] { ++actions; });
    timer.setEnabled(true);
    int ticks = 5;
    while (timer.enabled) {
        ProgressSequence::tick(bar, timer, [&] { ++actions; });
        ++ticks;
    }
    QCOMPARE(ticks, 11);
    QCOMPARE(actions, 1);
}

QTEST_GUILESS_MAIN(TestProgressSequence)
#include "tst_progresssequence.moc"
