#include <QCoreApplication>
#include <QFile>
#include <QImageReader>
#include <QTest>
#include <QtEndian>

// The artwork reaches the program: built into the windows library, readable
// by the image plugins, the sound beside the executable.
class tst_Assets final : public QObject
{
    Q_OBJECT

private slots:
    void pictures_data();
    void pictures();
    void iconHas256Colours();
    void soundBesideTheExecutable();
};

void tst_Assets::pictures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");

    QTest::newRow("window") << ":/assets/window.jpg" << QByteArray("jpeg") << QSize(727, 727);
    QTest::newRow("main banner") << ":/assets/banner-main.jpg" << QByteArray("jpeg") << QSize(600, 170);
    QTest::newRow("about banner") << ":/assets/banner-about.jpg" << QByteArray("jpeg") << QSize(450, 128);
    QTest::newRow("icon") << ":/assets/skirvane.ico" << QByteArray("ico") << QSize(32, 32);
    QTest::newRow("icon as png") << ":/assets/skirvane.png" << QByteArray("png") << QSize(32, 32);
    // For screens at scale factor 2: the same pictures with twice the pixels.
    QTest::newRow("window @2x") << ":/assets/window@2x.jpg" << QByteArray("jpeg") << QSize(1454, 1454);
    QTest::newRow("main banner @2x") << ":/assets/banner-main@2x.jpg" << QByteArray("jpeg") << QSize(1200, 340);
    QTest::newRow("about banner @2x") << ":/assets/banner-about@2x.jpg" << QByteArray("jpeg") << QSize(900, 256);
    QTest::newRow("icon @2x") << ":/assets/skirvane@2x.ico" << QByteArray("ico") << QSize(64, 64);
    QTest::newRow("icon as png @2x") << ":/assets/skirvane@2x.png" << QByteArray("png") << QSize(64, 64);
}

void tst_Assets::pictures()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);

    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(path + QStringLiteral(": ") + reader.errorString()));
    QCOMPARE(image.size(), size);
}

void tst_Assets::iconHas256Colours()
{
    QFile file(QStringLiteral(":/assets/skirvane.ico"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.size() > 22);
    // The directory entry after the 6-byte header: colour count 0 (= 256) at 2, bits per pixel at 6.
    QCOMPARE(quint8(bytes.at(6 + 2)), quint8(0));
    QCOMPARE(qFromLittleEndian<quint16>(bytes.constData() + 6 + 6), quint16(8));
}

void tst_Assets::soundBesideTheExecutable()
{
    QFile file(QCoreApplication::applicationDirPath() + QStringLiteral("/wickedsick.wav"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName() + QStringLiteral(": ") + file.errorString()));
    const QByteArray wave = file.readAll();
    QVERIFY(wave.size() > 44);
    QVERIFY(wave.startsWith("RIFF"));
    QCOMPARE(wave.mid(8, 8), QByteArray("WAVEfmt "));
    const char *fmt = wave.constData() + 20;
    QCOMPARE(qFromLittleEndian<quint16>(fmt), quint16(1)); // PCM
    QCOMPARE(qFromLittleEndian<quint16>(fmt + 2), quint16(1)); // mono
    const quint32 rate = qFromLittleEndian<quint32>(fmt + 4);
    QVERIFY(rate == 22050 || rate == 44100);
    QCOMPARE(qFromLittleEndian<quint16>(fmt + 14), quint16(16));
    QCOMPARE(wave.mid(36, 4), QByteArray("data"));
    const double seconds = qFromLittleEndian<quint32>(wave.constData() + 40) / (2.0 * rate);
    QVERIFY2(seconds >= 0.5 && seconds <= 2.0, qPrintable(QString::number(seconds)));
}

QTEST_GUILESS_MAIN(tst_Assets)
#include "tst_assets.moc"
