// Shared set-up for the tests that load the built BRIMO module through the host code.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "brimo/host/Vst3Host.h"

namespace brimo::test {

using host::Plugin;
using host::SampleSize;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;

// Host-visible ids: the two extra parameters and the plug-in's own parameters by index.
constexpr host::ParamID kPresetId = 0x70727374;
constexpr host::ParamID kBypassId = 0x62706173;
enum Param : host::ParamID {
  kLowBoost = 1,
  kMidBoost = 2,
  kMidCut = 3,
  kOutput = 4,
  kHighBoost = 5,
  kHighCut = 6,
  kLowCut = 7,
  kLowFrequency = 8,
  kMidBoostFrequency = 9,
  kMidCutFrequency = 10,
  kOversampling = 11,
  kBypassSwitch = 12
};
constexpr int kParamCount = 13;
constexpr size_t kStateSize = 8 * kParamCount + 4;

inline std::string modulePath() {
  std::string path = BRIMO_TEST_MODULE;
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;  // Wine maps the Unix root to Z:
#endif
  return path;
}

// The module stays loaded for the whole test program, as in a host.
inline std::shared_ptr<host::Module> module() {
  static std::shared_ptr<host::Module> m = [] {
    std::string why;
    auto loaded = host::Module::load(modulePath(), &why);
    if (!loaded) ADD_FAILURE() << why;
    return loaded;
  }();
  return m;
}

inline std::unique_ptr<Plugin> makePlugin(const host::HostOptions& options = {}) {
  auto m = module();
  if (!m) return nullptr;
  auto cls = m->firstAudioEffect();
  if (!cls) return nullptr;
  std::string why;
  auto p = m->createPlugin(cls->cid, options, &why);
  EXPECT_TRUE(p) << why;
  return p;
}

// Planar stereo audio of one sample type.
template <typename T>
struct Planar {
  Planar(int channels, int frames)
      : data(static_cast<size_t>(channels), std::vector<T>(static_cast<size_t>(frames))) {
    for (auto& c : data) ptrs.push_back(c.data());
  }
  Planar(Planar&&) = default;
  Planar& operator=(Planar&&) = default;
  Planar(const Planar&) = delete;  // ptrs point into data
  T* const* p() { return ptrs.data(); }
  std::vector<std::vector<T>> data;
  std::vector<T*> ptrs;
};

// A two-tone test signal whose values are exact in single precision.
template <typename T>
Planar<T> testSignal(int channels, int frames, double rate = 48000.0, int start = 0) {
  Planar<T> s(channels, frames);
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < frames; ++i) {
      double t = (start + i) / rate;
      double v = 0.25 * std::sin(2 * M_PI * 440.0 * t + c) + 0.1 * std::sin(2 * M_PI * 5000.0 * t);
      s.data[c][i] = static_cast<T>(static_cast<float>(v));
    }
  return s;
}

template <typename T>
void processBlock(Plugin& p, std::vector<const T*>& in, std::vector<T*>& o, int n) {
  Steinberg::tresult r;
  if constexpr (sizeof(T) == 4)
    r = p.process32(in.data(), o.data(), n);
  else
    r = p.process64(in.data(), o.data(), n);
  EXPECT_EQ(r, kResultOk);
}

// Processes `input` through the plug-in in blocks of `block` frames and returns the output.
template <typename T>
Planar<T> run(Plugin& p, Planar<T>& input, int block) {
  int channels = static_cast<int>(input.data.size());
  int frames = static_cast<int>(input.data[0].size());
  Planar<T> out(channels, frames);
  for (int pos = 0; pos < frames; pos += block) {
    int n = std::min(block, frames - pos);
    std::vector<const T*> in;
    std::vector<T*> o;
    for (int c = 0; c < channels; ++c) {
      in.push_back(input.data[c].data() + pos);
      o.push_back(out.data[c].data() + pos);
    }
    processBlock(p, in, o, n);
  }
  return out;
}

// Every sample is finite and not subnormal.
template <typename T>
::testing::AssertionResult allNormal(const Planar<T>& s) {
  for (size_t c = 0; c < s.data.size(); ++c)
    for (size_t i = 0; i < s.data[c].size(); ++i) {
      int k = std::fpclassify(s.data[c][i]);
      if (k == FP_NAN || k == FP_INFINITE || k == FP_SUBNORMAL)
        return ::testing::AssertionFailure()
               << "channel " << c << " sample " << i << " is " << s.data[c][i];
    }
  return ::testing::AssertionSuccess();
}

inline std::vector<double> stateValues(const std::vector<std::uint8_t>& bytes) {
  std::vector<double> v;
  for (size_t pos = 0; pos + 8 <= bytes.size() && v.size() < kParamCount; pos += 8) {
    double d;
    std::memcpy(&d, bytes.data() + pos, 8);  // little-endian on both targets
    v.push_back(d);
  }
  return v;
}

inline std::vector<std::uint8_t> makeState(const std::vector<double>& values, std::int32_t bypass) {
  std::vector<std::uint8_t> out(values.size() * 8 + 4);
  std::memcpy(out.data(), values.data(), values.size() * 8);
  std::memcpy(out.data() + values.size() * 8, &bypass, 4);
  return out;
}

}  // namespace brimo::test
