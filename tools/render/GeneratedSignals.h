// Test signals the program makes itself.
#pragma once

#include <cstdint>
#include <vector>

namespace brimo::render {

// Exponential sine sweep from f0 to f1 Hz over the given number of frames, with 10 ms raised-cosine
// fades at both ends so it starts and stops without a click.
std::vector<double> SineSweep(double sampleRate, int64_t frames, double f0, double f1,
                              double amplitude);

// Pink noise (Paul Kellet's filter over a fixed-seed generator): reproducible from run to run,
// peak-limited to amplitude, with the same fades as the sweep.
std::vector<double> PinkNoise(double sampleRate, int64_t frames, double amplitude, uint32_t seed);

// The demo's input: a four-second sweep followed by two seconds of pink noise (a different
// seed per channel), stereo.
std::vector<std::vector<double>> DemoSignal(double sampleRate);

}  // namespace brimo::render
