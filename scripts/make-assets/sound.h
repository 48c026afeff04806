#pragma once

#include <QByteArray>

// The sound played when the favourites are saved: a rising "power-up"
// arpeggio, about one second long, as a wave file (PCM, 16 bit, mono).
namespace Sound {

inline constexpr int SampleRate = 22050;

QByteArray powerUpWave();

}
