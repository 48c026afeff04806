#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class SoundOutput;

// Plays WAV files in the background, one at a time: a new sound cuts off one
// that is still playing. A file that is missing or cannot be played, and a
// system without audio output, are never reported; the fallback sounds
// instead, by default the system's beep. The player behind it is loaded on
// the first sound (see soundoutput.h); a program that cannot load it falls
// back as well.
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

    // Where the player is looked for: beside the executable (the build
    // tree), then in the installed library folder.
    static QStringList modulePaths();

signals:
    // Once for each sound not cut off by the next: whether it is heard (if
    // not, the fallback has sounded).
    void settled(bool heard);

private:
    SoundOutput *output();
    void settle(bool heard);

    Fallback m_fallback;
    std::unique_ptr<SoundOutput> m_output;
    bool m_outputMissing = false;
};
