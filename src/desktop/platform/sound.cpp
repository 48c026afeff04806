#include "platform/sound.h"

#include <QApplication>
#include <QAudioDevice>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>
#include <QtEndian>

namespace {

// Whether the file is a RIFF wave file whose format and sound data are all
// there. QSoundEffect waits for ever for the rest of a file cut short (an
// empty one too), and then every later change of source or its destruction
// waits as well: such a file must never reach it. Formats it cannot play
// it reports by itself.
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

QSoundEffect &Sound::effect()
{
    // Made on first use: the audio system takes a while to start.
    if (!m_effect) {
        m_effect = new QSoundEffect(this);
        connect(m_effect, &QSoundEffect::statusChanged, this, &Sound::onStatusChanged);
    }
    return *m_effect;
}

void Sound::play(const QString &wavPath)
{
    if (!isCompleteWave(wavPath)) {
        if (m_effect)
            m_effect->stop();
        fallBack();
        return;
    }

    QSoundEffect &sound = effect();
    const QUrl source = QUrl::fromLocalFile(wavPath);
    // The same file again is not loaded again, so one that failed before
    // would fail silently: start afresh.
    if (sound.source() == source && sound.status() == QSoundEffect::Error)
        sound.setSource(QUrl());
    m_waitingForLoad = true;
    sound.setSource(source);
    sound.play();
    onStatusChanged();
}

void Sound::onStatusChanged()
{
    if (!m_waitingForLoad || !m_effect)
        return;
    switch (m_effect->status()) {
    case QSoundEffect::Null:
    case QSoundEffect::Loading:
        return;
    case QSoundEffect::Ready:
        m_waitingForLoad = false;
        // Nothing would be heard, and nothing said.
        if (QMediaDevices::defaultAudioOutput().isNull())
            fallBack();
        return;
    case QSoundEffect::Error:
        m_waitingForLoad = false;
        fallBack();
        return;
    }
    Q_UNREACHABLE();
}

void Sound::fallBack()
{
    if (m_fallback)
        m_fallback();
}
