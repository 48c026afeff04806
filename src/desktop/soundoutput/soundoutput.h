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
    // Called when a sound cannot be played: the sound system rejects the
    // file, or there is no audio output to hear it on.
    using Failed = std::function<void()>;

    virtual ~SoundOutput() = default;

    // Plays a complete RIFF wave file, cutting off a sound still playing.
    // Returns at once; failed is called once if the sound cannot be heard,
    // either from within play() or later from the event loop.
    virtual void play(const QString &wavPath) = 0;
    virtual void stop() = 0;
};

namespace SoundOutputModule {

// The module's one entry point: a function that makes a player, called on
// the GUI thread once the application object exists.
inline constexpr char MakeFunction[] = "skirvaneMakeSoundOutput";
using Make = SoundOutput *(*)(SoundOutput::Failed failed);

}
