// One thread processes while another saves and restores state and changes parameters, as a
// host's audio and user-interface threads do. Run under ThreadSanitizer in CI.
#include "BundleFixture.h"

#include <atomic>
#include <thread>

namespace brimo::test {
namespace {

TEST(BundleConcurrency, StateAndParametersWhileProcessing) {
  auto p = makePlugin();
  ASSERT_TRUE(p);
  ASSERT_EQ(p->prepare(48000, 128, 2, SampleSize::k32), kResultOk);
  std::vector<double> settings = {0, -0.5, 0.5, 0.25, 6, 3, 1, 2, 1, 4, 5, 0, 0};
  const std::vector<std::uint8_t> stored = makeState(settings, 0);

  std::atomic<bool> done{false};
  std::atomic<int> blocks{0};
  std::atomic<bool> clean{true};
  std::thread audio([&] {
    auto in = testSignal<float>(2, 128);
    Planar<float> out(2, 128);
    for (int i = 0; i < 2000; ++i) {
      p->queueChange(kOutput, (i % 10) / 10.0);
      if (i % 50 == 0) p->queueChange(kOversampling, (i / 50) % 2);
      if (p->process32(in.p(), out.p(), 128) != kResultOk || !allNormal(out)) clean = false;
      blocks.fetch_add(1);
    }
    done = true;
  });

  // Save, restore and edit for as long as the audio thread runs (bounded either way).
  int saves = 0;
  for (int i = 0; i < 100000 && (!done.load() || i < 50); ++i) {
    host::State s = p->controllerState();
    if (s.result != kResultOk || s.bytes.size() != kStateSize) clean = false;
    if (p->setControllerState(i % 2 ? stored : s.bytes) != kResultOk) clean = false;
    p->setControllerNormalized(kMidCut, (i % 7) / 7.0);
    (void)p->controllerNormalized(kBypassId);
    (void)p->toText(kOutput, 0.3);
    ++saves;
  }
  audio.join();
  EXPECT_TRUE(clean.load());
  EXPECT_GE(saves, 50);
  EXPECT_EQ(blocks.load(), 2000);
  // Whatever interleaving happened, the instance ends in a consistent, in-range state.
  std::vector<double> last = stateValues(p->controllerState().bytes);
  ASSERT_EQ(last.size(), size_t(kParamCount));
  EXPECT_GE(last[kOutput], -15.0);
  EXPECT_LE(last[kOutput], 15.0);
}

TEST(BundleConcurrency, InstancesCreatedOnSeveralThreads) {
  auto m = module();
  ASSERT_TRUE(m);
  auto cls = m->firstAudioEffect();
  ASSERT_TRUE(cls);
  std::atomic<int> made{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 5; ++i) {
        // Only the factory and the fresh instance are touched off the main thread.
        Steinberg::TUID tuid;
        std::memcpy(tuid, cls->cid.data(), 16);
        void* obj = nullptr;
        if (m->factory()->createInstance(tuid, Steinberg::Vst::IComponent::iid, &obj) ==
                kResultOk &&
            obj) {
          static_cast<Steinberg::Vst::IComponent*>(obj)->release();
          made.fetch_add(1);
        }
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(made.load(), 20);
}

}  // namespace
}  // namespace brimo::test
