#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QSoundEffect;

// Plays WAV files in the background, one at a time: a new sound cuts off one
// that is still playing. A file that is missing or cannot be played, and a
// system without audio output, are never reported; the fallback sounds
// instead, by default the system's beep.
class Sound final : public QObject
{
    Q_OBJECT
public:
    using Fallback = std::function<void()>;

    explicit Sound(QObject *parent = nullptr);
    explicit Sound(Fallback fallback, QObject *parent = nullptr);
    ~Sound() override;
    Q_DISABLE_COPY_MOVE(Sound)

    // Returns at once; loading and playing go on in the background.
    void play(const QString &wavPath);

private:
    QSoundEffect &effect();
    void onStatusChanged();
    void fallBack();

    Fallback m_fallback;
    QSoundEffect *m_effect = nullptr;
    // A play was asked for and the file has not loaded yet.
    bool m_waitingForLoad = false;
};
