#include "files.h"
#include "platform/sound.h"

#include <QDir>
#include <QFile>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// A tenth of a second of silence: 8 kHz, 16-bit, mono PCM.
QByteArray silentWave()
{
    const quint32 dataSize = 800 * 2;
    QByteArray wave;
    const auto u32 = [&wave](quint32 v) { wave.append(reinterpret_cast<const char *>(&(v = qToLittleEndian(v))), 4); };
    const auto u16 = [&wave](quint16 v) { wave.append(reinterpret_cast<const char *>(&(v = qToLittleEndian(v))), 2); };
    wave.append("RIFF");
    u32(36 + dataSize);
    wave.append("WAVEfmt ");
    u32(16);
    u16(1);        // PCM
    u16(1);        // channels
    u32(8000);     // sample rate
    u32(8000 * 2); // byte rate
    u16(2);        // block align
    u16(16);       // bits per sample
    wave.append("data");
    u32(dataSize);
    wave.append(QByteArray(dataSize, '\0'));
    return wave;
}

// Complete, but in a format (MPEG layer 3) the sound system does not play.
QByteArray unplayableWave()
{
    return silentWave().replace(20, 2, QByteArray("\x55\x00", 2));
}

}

class TestSound final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void unplayableFilesFallBack_data();
    void unplayableFilesFallBack();
    void aFileThatFailedIsTriedAgain();
    void aWaveFileFallsBackOnlyWithoutAudioOutput();

private:
    QTemporaryDir m_dir;
    int m_fallbacks = 0;
};

void TestSound::init()
{
    QVERIFY(m_dir.isValid());
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
        QVERIFY(writeRaw(path, silentWave().chopped(10)));
    else if (place == u"format")
        QVERIFY(writeRaw(path, unplayableWave()));
    else if (place == u"pipe") // opening it would wait for a writer
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    if (place == u"format") // the sound system itself finds out
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Error decoding source"_s));

    Sound sound([this] { ++m_fallbacks; });
    QSignalSpy settled(&sound, &Sound::settled);
    sound.play(path);

    QTRY_COMPARE(settled.size(), 1);
    QCoreApplication::processEvents(); // once only
    QCOMPARE(settled.size(), 1);
    QCOMPARE(settled[0][0].toBool(), false);
    QCOMPARE(m_fallbacks, 1);
}

void TestSound::aFileThatFailedIsTriedAgain()
{
    const QString path = m_dir.filePath(u"again.wav"_s);
    QVERIFY(writeRaw(path, unplayableWave()));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Error decoding source"_s));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"Error decoding source"_s));

    Sound sound([this] { ++m_fallbacks; });
    QSignalSpy settled(&sound, &Sound::settled);
    sound.play(path);
    QTRY_COMPARE(settled.size(), 1);
    sound.play(path);
    QTRY_COMPARE(settled.size(), 2);
    QCOMPARE(m_fallbacks, 2);
}

void TestSound::aWaveFileFallsBackOnlyWithoutAudioOutput()
{
    const QString path = m_dir.filePath(u"silence.wav"_s);
    QVERIFY(writeRaw(path, silentWave()));
    const bool noOutput = QMediaDevices::defaultAudioOutput().isNull();

    Sound sound([this] { ++m_fallbacks; });
    QSignalSpy settled(&sound, &Sound::settled);
    sound.play(path);
    QTRY_COMPARE(settled.size(), 1);
    QCOMPARE(settled[0][0].toBool(), !noOutput);
    QCOMPARE(m_fallbacks, noOutput ? 1 : 0);
    // Loaded already: the answer comes at once.
    sound.play(path);
    QCOMPARE(settled.size(), 2);
    QCOMPARE(m_fallbacks, noOutput ? 2 : 0);
}

QTEST_GUILESS_MAIN(TestSound)
#include "tst_sound.moc"
