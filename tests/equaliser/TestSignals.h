// Deterministic random signals and settings shared by the equaliser tests.
#pragma once

#include "EqualiserChain.h"

#include <cstdint>
#include <random>
#include <vector>

namespace brimo::test {

using Rng = std::mt19937_64;

// Uniform in [lo, hi), from the generator's bits alone (the standard distributions are not the
// same on every library, and the golden output must be).
double Uniform(Rng& rng, double lo, double hi);
int UniformInt(Rng& rng, int lo, int hi);  // inclusive

// Any valid setting of every knob and switch; sampleRate is one of 44100, 48000, 96000, 192000.
EqualiserSettings RandomSettings(Rng& rng, double& sampleRate);

// Music-like test input: noise at a random level with occasional silent stretches and spikes.
std::vector<double> RandomSignal(Rng& rng, int frames);

bool SameBits(double a, double b);

}  // namespace brimo::test
