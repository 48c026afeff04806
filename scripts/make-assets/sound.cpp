#include "sound.h"

#include <QDataStream>
#include <QIODevice>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace Sound {

namespace {

constexpr double Seconds = 1.0;

// A bright, square-ish voice: odd harmonics over the fundamental.
double voice(double phase)
{
    return std::sin(phase) + 0.30 * std::sin(3 * phase) + 0.12 * std::sin(5 * phase);
}

std::vector<double> render()
{
    constexpr double twoPi = 2 * std::numbers::pi;
    // A major, climbing two octaves, one note every 90 ms.
    const double notes[] = {220.00, 277.18, 329.63, 440.00, 554.37, 659.26, 880.00};
    const int count = int(SampleRate * Seconds);
    std::vector<double> samples(count, 0.0);
    for (int n = 0; n < int(std::size(notes)); ++n) {
        const double start = 0.09 * n;
        for (int i = int(start * SampleRate); i < count; ++i) {
            const double t = double(i) / SampleRate - start;
            const double attack = std::min(1.0, t / 0.008);
            const double decay = std::exp(-t * 3.2);
            const double vibrato = 1.0 + 0.004 * std::sin(twoPi * 6.0 * t);
            samples[i] += 0.22 * attack * decay * voice(twoPi * notes[n] * vibrato * t);
        }
    }
    // A rising sweep under the notes.
    double phase = 0;
    for (int i = 0; i < count; ++i) {
        const double t = double(i) / SampleRate;
        const double frequency = 300.0 + 1500.0 * std::min(1.0, t / 0.55);
        phase += twoPi * frequency / SampleRate;
        const double envelope = std::sin(std::numbers::pi * std::min(1.0, t / 0.6)) * 0.10;
        samples[i] += envelope * std::sin(phase);
    }
    // Fade out over the last 150 ms so that the file ends in silence.
    const int fade = int(0.15 * SampleRate);
    for (int i = 0; i < fade; ++i)
        samples[count - 1 - i] *= double(i) / fade;

    double peak = 0;
    for (double s : samples)
        peak = std::max(peak, std::abs(s));
    for (double &s : samples)
        s *= 0.8 / peak;
    return samples;
}

}

QByteArray powerUpWave()
{
    const std::vector<double> samples = render();
    const quint32 dataSize = quint32(samples.size() * 2);

    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + dataSize);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(SampleRate) << quint32(SampleRate * 2) << quint16(2)
        << quint16(16);
    out.writeRawData("data", 4);
    out << dataSize;
    for (double s : samples)
        out << qint16(std::lround(s * 32767));
    return bytes;
}

}
