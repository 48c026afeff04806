#pragma once

#include <QString>

#include <functional>

// Plays WAV files through the system's audio output. The audio libraries
// take time and memory to load and a sound is only wanted after a save, so
// the player is a module of its own, loaded on first use (see Sound); this
// header is all that the program and the module share.
class SoundOutput
{
public:
    // Called once a sound is known to be heard or not: not when the sound
    // system rejects the file or there is no audio output to hear it on.
    using Settled = std::function<void(bool heard)>;

    virtual ~SoundOutput() = default;

    // Plays a complete RIFF wave file, cutting off a sound still playing.
    // Returns at once; settled is called once for it, from within play() or
    // later from the event loop (not for a sound cut off before that).
    virtual void play(const QString &wavPath) = 0;
    virtual void stop() = 0;
};

namespace SoundOutputModule {

// The module's one entry point: a function that makes a player, called on
// the GUI thread once the application object exists.
inline constexpr char MakeFunction[] = "skirvaneMakeSoundOutput";
using Make = SoundOutput *(*)(SoundOutput::Settled settled);

}
