#include "files.h"
#include "platform/sound.h"

#include <QDir>
#include <QFile>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// The program's own save sound, a PCM wave file, beside the executable.
QByteArray playableWave()
{
    return contentOf(QCoreApplication::applicationDirPath() + u"/wickedsick.wav"_s);
}

// Complete, but in a format (MPEG layer 3) the sound system does not play.
QByteArray unplayableWave()
{
    return playableWave().replace(20, 2, QByteArray("\x55\x00", 2));
}

}

class TestSound final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void unplayableFilesFallBack_data();
    void unplayableFilesFallBack();
    void aWaveFileFallsBackOnlyWithoutAudioOutput();

private:
    QTemporaryDir m_dir;
    int m_fallbacks = 0;
};

void TestSound::init()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(playableWave().size() > 44);
    m_fallbacks = 0;
}

void TestSound::unplayableFilesFallBack_data()
{
    QTest::addColumn<QString>("place");

    QTest::newRow("no file") << u"none"_s;
    QTest::newRow("folder") << u"folder"_s;
    QTest::newRow("not a wave file") << u"garbage"_s;
    QTest::newRow("empty file") << u"empty"_s;
    QTest::newRow("a few bytes") << u"few"_s;
    QTest::newRow("sound data cut short") << u"cut"_s;
    QTest::newRow("format it cannot play") << u"format"_s;
    QTest::newRow("named pipe, never opened") << u"pipe"_s;
}

void TestSound::unplayableFilesFallBack()
{
    QFETCH(QString, place);

    const QString path = m_dir.filePath(place + u".wav"_s);
    if (place == u"folder")
        QVERIFY(QDir(m_dir.path()).mkdir(place + u".wav"_s));
    else if (place == u"garbage")
        QVERIFY(writeRaw(path, "This is text, not sound.\n"_ba.repeated(50)));
    else if (place == u"empty")
        QVERIFY(writeRaw(path, {}));
    else if (place == u"few")
        QVERIFY(writeRaw(path, "RIFF"));
    else if (place == u"cut")
        QVERIFY(writeRaw(path, playableWave().chopped(10)));
    else if (place == u"format")
        QVERIFY(writeRaw(path, unplayableWave()));
    else if (place == u"pipe") // opening it would wait for a writer
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    if (place == u"format") { // the sound system itself finds out, at each try
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Error decoding source"_s));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Error decoding source"_s));
    }

    Sound sound([this] { ++m_fallbacks; });
    sound.play(path);

    QTRY_COMPARE(m_fallbacks, 1);
    // Once only.
    QTest::qWait(100);
    QCOMPARE(m_fallbacks, 1);
    // A file that failed is tried again.
    sound.play(path);
    QTRY_COMPARE(m_fallbacks, 2);
}

void TestSound::aWaveFileFallsBackOnlyWithoutAudioOutput()
{
    const QString path = m_dir.filePath(u"playable.wav"_s);
    QVERIFY(writeRaw(path, playableWave()));
    const bool noOutput = QMediaDevices::defaultAudioOutput().isNull();

    Sound sound([this] { ++m_fallbacks; });
    sound.play(path);
    // Loading a broken file fails within a few milliseconds (see above).
    QTest::qWait(500);
    QCOMPARE(m_fallbacks, noOutput ? 1 : 0);
    // Loaded already: the answer comes at once.
    sound.play(path);
    QCOMPARE(m_fallbacks, noOutput ? 2 : 0);
}

QTEST_GUILESS_MAIN(TestSound)
#include "tst_sound.moc"
