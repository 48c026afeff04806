#include "platform/sound.h"

#include "soundoutput/soundoutput.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QtEndian>

namespace {

// Whether the file is a RIFF wave file whose format and sound data are all
// there. Qt Multimedia's QSoundEffect, which plays it, waits for ever for
// the rest of a file cut short (an empty one too), and then every later
// change of source or its destruction waits as well: such a file must never
// reach it. Formats it cannot play it reports by itself.
bool isCompleteWave(const QString &path)
{
    // Opening a named pipe would wait for a writer, and a device may never end.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const QByteArray riff = file.read(12);
    if (riff.size() < 12 || riff.sliced(8, 4) != "WAVE")
        return false;
    const bool bigEndian = riff.startsWith("RIFX");
    if (!bigEndian && !riff.startsWith("RIFF"))
        return false;

    bool formatSeen = false;
    qint64 offset = 12;
    for (int chunks = 0; chunks < 64; ++chunks) {
        if (!file.seek(offset))
            return false;
        const QByteArray header = file.read(8);
        if (header.size() < 8)
            return false;
        const qint64 length = bigEndian ? qFromBigEndian<quint32>(header.constData() + 4)
                                        : qFromLittleEndian<quint32>(header.constData() + 4);
        const qint64 end = offset + 8 + length;
        if (end > size)
            return false;
        const QByteArray id = header.first(4);
        if (id == "fmt ")
            formatSeen = true;
        else if (id == "data")
            return formatSeen && length > 0;
        offset = end + (length & 1);
    }
    return false;
}

}

Sound::Sound(QObject *parent)
    : Sound(&QApplication::beep, parent)
{
}

Sound::Sound(Fallback fallback, QObject *parent)
    : QObject(parent)
    , m_fallback(std::move(fallback))
{
}

Sound::~Sound() = default;

QStringList Sound::modulePaths()
{
    const QString folder = QCoreApplication::applicationDirPath();
    const QString name = QStringLiteral(SKIRVANE_SOUND_OUTPUT_MODULE);
    return {folder + QLatin1Char('/') + name,
            QDir::cleanPath(folder + QStringLiteral("/" SKIRVANE_MODULES_FROM_BIN "/") + name)};
}

SoundOutput *Sound::output()
{
    if (m_output || m_outputMissing)
        return m_output.get();
    const QStringList paths = modulePaths();
    QString problem = QStringLiteral("none of %1 exists").arg(paths.join(QStringLiteral(", ")));
    for (const QString &path : paths) {
        if (!QFileInfo::exists(path))
            continue;
        QLibrary module(path);
        const auto make = reinterpret_cast<SoundOutputModule::Make>(module.resolve(SoundOutputModule::MakeFunction));
        if (make) {
            m_output.reset(make([this](bool heard) { settle(heard); }));
            return m_output.get();
        }
        problem = module.errorString();
        break;
    }
    // Said once: every later sound falls back at once.
    m_outputMissing = true;
    qWarning("Skirvane: the sound player could not be loaded: %s", qPrintable(problem));
    return nullptr;
}

void Sound::play(const QString &wavPath)
{
    if (!isCompleteWave(wavPath)) {
        if (m_output)
            m_output->stop();
        settle(false);
        return;
    }
    if (SoundOutput *player = output())
        player->play(wavPath);
    else
        settle(false);
}

void Sound::settle(bool heard)
{
    if (!heard && m_fallback)
        m_fallback();
    emit settled(heard);
}
