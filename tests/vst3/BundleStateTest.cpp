// The state stream a host stores in its projects: the controller's getState and setState.
#include "BundleFixture.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

namespace brimo::test {
namespace {

const std::vector<double> kDefaults = {0, -1, 0.001, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

TEST(BundleState, FreshInstanceWritesDefaults) {
  auto p = makePlugin();
  ASSERT_TRUE(p);
  host::State s = p->controllerState();
  ASSERT_EQ(s.result, kResultOk);
  EXPECT_EQ(s.bytes, makeState(kDefaults, 0));
  // The whole state travels through the controller; a host that asks the component gets
  // either nothing or the very same stream (one object answers both interfaces).
  host::State c = p->componentState();
  if (c.result == kResultOk) {
    EXPECT_EQ(c.bytes, s.bytes);
    EXPECT_EQ(p->setComponentState(s.bytes), kResultOk);
  } else {
    EXPECT_EQ(c.result, Steinberg::kNotImplemented);
  }
}

// A .vstpreset names the plug-in by its class id string, so a preset saved on one platform loads
// on the other only if both builds print the id alike. The committed file was written by the
// Linux build; every build must write the same bytes and load it. BRIMO_REGENERATE_GOLDEN=1
// rewrites it from this build.
TEST(BundleState, PresetFilesMoveBetweenPlatforms) {
  auto p = makePlugin();
  auto q = makePlugin();
  ASSERT_TRUE(p && q);
  ASSERT_EQ(p->setControllerNormalized(kHighBoost, 1.0), kResultOk);
  ASSERT_EQ(p->setControllerNormalized(kOversampling, 1.0), kResultOk);
  ASSERT_EQ(p->setControllerNormalized(kOutput, 0.25), kResultOk);
  ASSERT_EQ(p->setControllerNormalized(kBypassId, 1.0), kResultOk);
  const host::State file = p->presetFile();
  ASSERT_EQ(file.result, kResultOk);
  ASSERT_GE(file.bytes.size(), 40u);
  EXPECT_EQ(std::string(file.bytes.begin() + 8, file.bytes.begin() + 40),
            "F2AEE70D00DE4F4E4B77696C42726D31");

  std::string path = BRIMO_TEST_PRESET;
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
  if (const char* regenerate = std::getenv("BRIMO_REGENERATE_GOLDEN");
      regenerate && *regenerate == '1') {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.bytes.data()),
               std::streamsize(file.bytes.size()));
  }
  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> committed{std::istreambuf_iterator<char>(in), {}};
  EXPECT_EQ(file.bytes, committed);
  ASSERT_EQ(q->loadPresetFile(committed), kResultOk);
  EXPECT_EQ(q->controllerState().bytes,
            makeState({0, -1, 0.001, 0, -7.5, 8, 0, 0, 0, 0, 0, 1, 0}, 1));

  // A file of another class is refused and changes nothing.
  auto other = committed;
  other.at(8) = '0';
  auto r = makePlugin();
  ASSERT_TRUE(r);
  EXPECT_NE(r->loadPresetFile(other), kResultOk);
  EXPECT_EQ(r->controllerState().bytes, makeState(kDefaults, 0));
}

TEST(BundleState, RoundTripRestoresSoundAndSettings) {
  auto a = makePlugin();
  auto b = makePlugin();
  ASSERT_TRUE(a && b);
  ASSERT_EQ(a->prepare(48000, 256, 2, SampleSize::k64), kResultOk);
  ASSERT_EQ(b->prepare(48000, 256, 2, SampleSize::k64), kResultOk);
  a->queueChange(kOutput, 0.8);
  a->queueChange(kLowBoost, 0.6);
  a->queueChange(kMidBoostFrequency, 3.0 / 7.0);
  a->queueChange(kHighCut, 0.5);
  a->queueChange(kBypassId, 1.0);
  auto warm = testSignal<double>(2, 256);
  run(*a, warm, 256);
  host::State saved = a->controllerState();
  ASSERT_EQ(saved.result, kResultOk);
  ASSERT_EQ(saved.bytes.size(), kStateSize);
  std::vector<double> v = stateValues(saved.bytes);
  EXPECT_DOUBLE_EQ(v[kOutput], 9.0);
  EXPECT_DOUBLE_EQ(v[kLowBoost], -0.4);
  EXPECT_DOUBLE_EQ(v[kMidBoostFrequency], 3.0);
  EXPECT_DOUBLE_EQ(v[kHighCut], 1.0);
  EXPECT_EQ(saved.bytes[kStateSize - 4], 1);

  ASSERT_EQ(b->setControllerState(saved.bytes), kResultOk);
  EXPECT_EQ(b->controllerState().bytes, saved.bytes);
  EXPECT_DOUBLE_EQ(b->controllerNormalized(kBypassId), 1.0);
  for (host::ParamID id = 0; id < kParamCount; ++id)
    EXPECT_DOUBLE_EQ(b->controllerNormalized(id), a->controllerNormalized(id)) << id;

  // Without bypass, both instances sound alike from here on (the filter histories differ
  // only by the warm-up block, which decays; compare the settled tail).
  std::vector<double> unbypassed = v;
  ASSERT_EQ(a->setControllerState(makeState(unbypassed, 0)), kResultOk);
  ASSERT_EQ(b->setControllerState(makeState(unbypassed, 0)), kResultOk);
  auto in = testSignal<double>(2, 48000);
  auto oa = run(*a, in, 256);
  auto ob = run(*b, in, 256);
  for (int c = 0; c < 2; ++c)
    for (int i = 40000; i < 48000; ++i)
      ASSERT_NEAR(oa.data[c][i], ob.data[c][i], 1e-6) << c << " " << i;
}

TEST(BundleState, ShortStreamsApplyWhatArrives) {
  auto p = makePlugin();
  ASSERT_TRUE(p);
  std::vector<double> v = kDefaults;
  v[kOutput] = -6.0;
  v[kHighBoost] = 4.0;
  std::vector<std::uint8_t> full = makeState(v, 1);

  // Parameters without the bypass word: values applied, bypass unchanged, failure reported.
  std::vector<std::uint8_t> noBypass(full.begin(), full.begin() + 104);
  EXPECT_EQ(p->setControllerState(noBypass), kResultFalse);
  EXPECT_EQ(stateValues(p->controllerState().bytes), v);
  EXPECT_DOUBLE_EQ(p->controllerNormalized(kBypassId), 0.0);

  // A cut inside the values: the delivered ones land, the rest keep their current values.
  v[kOutput] = 3.0;
  v[kHighBoost] = 2.0;
  std::vector<std::uint8_t> partial = makeState(v, 0);
  partial.resize(8 * kOutput + 8 + 3);
  EXPECT_EQ(p->setControllerState(partial), kResultFalse);
  std::vector<double> now = stateValues(p->controllerState().bytes);
  EXPECT_DOUBLE_EQ(now[kOutput], 3.0);
  EXPECT_DOUBLE_EQ(now[kHighBoost], 4.0);

  // Empty: nothing changes.
  std::vector<std::uint8_t> before = p->controllerState().bytes;
  EXPECT_EQ(p->setControllerState({}), kResultFalse);
  EXPECT_EQ(p->controllerState().bytes, before);
}

TEST(BundleState, BypassWordIsAnyNonZeroValue) {
  auto p = makePlugin();
  ASSERT_TRUE(p);
  ASSERT_EQ(p->setControllerState(makeState(kDefaults, 2)), kResultOk);
  EXPECT_DOUBLE_EQ(p->controllerNormalized(kBypassId), 1.0);
  EXPECT_EQ(p->controllerState().bytes, makeState(kDefaults, 1));
  ASSERT_EQ(p->setControllerState(makeState(kDefaults, 0)), kResultOk);
  EXPECT_DOUBLE_EQ(p->controllerNormalized(kBypassId), 0.0);
}

TEST(BundleState, OutOfRangeValuesAreClamped) {
  auto p = makePlugin();
  ASSERT_TRUE(p);
  std::vector<double> v(kParamCount, 1e9);
  v[kLowBoost] = -1e9;
  v[kMidBoost] = -1e300;
  ASSERT_EQ(p->setControllerState(makeState(v, 0)), kResultOk);
  std::vector<double> got = stateValues(p->controllerState().bytes);
  const std::vector<double> expected = {1, -1, 0.001, 1, 15, 8, 2, 5, 3, 7, 7, 1, 1};
  EXPECT_EQ(got, expected);
}

// Whatever a stream holds, the plug-in keeps every parameter inside its range and its output
// finite: a damaged project must not make a track emit NaN or blow up.
TEST(BundleState, GarbageStreamsLeaveASaneInstance) {
  auto p = makePlugin();
  ASSERT_TRUE(p);
  ASSERT_EQ(p->prepare(48000, 512, 2, SampleSize::k32), kResultOk);
  const std::vector<double> lo = {0, -1, 0.001, 0, -15, 0, 0, 0, 0, 0, 0, 0, 0};
  const std::vector<double> hi = {1, 0, 1, 1, 15, 8, 2, 5, 3, 7, 7, 1, 1};
  std::mt19937 rng(1234);
  auto in = testSignal<float>(2, 512);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    std::vector<std::uint8_t> bytes(rng() % (2 * kStateSize));
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    if (round % 4 == 0) {  // sprinkle the special values a random fill rarely makes
      std::vector<double> v(kParamCount);
      const double specials[] = {NAN, -NAN, INFINITY, -INFINITY, 5e-324, -0.0};
      for (auto& d : v) d = specials[rng() % 6];
      bytes = makeState(v, static_cast<std::int32_t>(rng()));
    }
    Steinberg::tresult r = p->setControllerState(bytes);
    EXPECT_EQ(r, bytes.size() >= kStateSize ? kResultOk : kResultFalse);
    std::vector<double> got = stateValues(p->controllerState().bytes);
    ASSERT_EQ(got.size(), size_t(kParamCount));
    for (int i = 0; i < kParamCount; ++i) {
      EXPECT_GE(got[i], lo[i]) << "parameter " << i;
      EXPECT_LE(got[i], hi[i]) << "parameter " << i;
    }
    p->queueChange(kBypassId, 0.0);
    auto out = run(*p, in, 512);
    ASSERT_TRUE(allNormal(out));
  }
}

}  // namespace
}  // namespace brimo::test
