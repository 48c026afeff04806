#include "soundoutput/soundoutput.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace {

// Qt Multimedia's sound effect: plays from memory once loaded, and tells
// whether loading failed only through its status.
class SoundEffectOutput final : public SoundOutput
{
public:
    explicit SoundEffectOutput(Settled settled)
        : m_settled(std::move(settled))
    {
        QObject::connect(&m_effect, &QSoundEffect::statusChanged, &m_effect, [this] { onStatusChanged(); });
    }

    void play(const QString &wavPath) override
    {
        const QUrl source = QUrl::fromLocalFile(wavPath);
        // The same file again is not loaded again, so one that failed before
        // would fail silently: start afresh.
        if (m_effect.source() == source && m_effect.status() == QSoundEffect::Error)
            m_effect.setSource(QUrl());
        m_waitingForLoad = true;
        m_effect.setSource(source);
        m_effect.play();
        onStatusChanged();
    }

    void stop() override { m_effect.stop(); }

private:
    void onStatusChanged()
    {
        if (!m_waitingForLoad)
            return;
        switch (m_effect.status()) {
        case QSoundEffect::Null:
        case QSoundEffect::Loading:
            return;
        case QSoundEffect::Ready:
            m_waitingForLoad = false;
            // Without an output nothing would be heard, and nothing said.
            m_settled(!QMediaDevices::defaultAudioOutput().isNull());
            return;
        case QSoundEffect::Error:
            m_waitingForLoad = false;
            m_settled(false);
            return;
        }
        Q_UNREACHABLE();
    }

    Settled m_settled;
    QSoundEffect m_effect;
    // A play was asked for and the file has not loaded yet.
    bool m_waitingForLoad = false;
};

}

extern "C" Q_DECL_EXPORT SoundOutput *skirvaneMakeSoundOutput(SoundOutput::Settled settled)
{
    return new SoundEffectOutput(std::move(settled));
}
