// The host code with a plug-in whose processor and controller are separate classes.
#include <gtest/gtest.h>

#include "brimo/host/Vst3Host.h"

namespace brimo::host {
namespace {

std::string splitPath() {
  std::string path = BRIMO_SPLIT_MODULE;
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
  return path;
}

TEST(HostLibrarySplit, JoinsProcessorAndControllerAndFollowsComponentState) {
  std::string why;
  auto module = Module::load(splitPath(), &why);
  ASSERT_TRUE(module) << why;
  ASSERT_EQ(module->classes().size(), 2u);
  auto cls = module->firstAudioEffect();
  ASSERT_TRUE(cls);
  EXPECT_EQ(cls->name, "Split Gain");
  auto p = module->createPlugin(cls->cid, {}, &why);
  ASSERT_TRUE(p) << why;
  EXPECT_FALSE(p->isSingleComponent());
  auto params = p->parameters();
  ASSERT_EQ(params.size(), 1u);
  EXPECT_EQ(params[0].title, "Gain");
  EXPECT_DOUBLE_EQ(p->controllerNormalized(0), 1.0);  // taken from the component's state

  ASSERT_EQ(p->prepare(48000, 64, 2, SampleSize::k32), Steinberg::kResultOk);
  float l[64], r[64], ol[64], orr[64];
  for (int i = 0; i < 64; ++i) l[i] = r[i] = 0.5f;
  const float* in[] = {l, r};
  float* out[] = {ol, orr};
  p->queueChange(0, 0.25);
  ASSERT_EQ(p->process32(in, out, 64), Steinberg::kResultOk);
  EXPECT_EQ(ol[63], 0.125f);
  EXPECT_EQ(orr[0], 0.125f);

  State s = p->componentState();
  ASSERT_EQ(s.result, Steinberg::kResultOk);
  ASSERT_EQ(s.bytes.size(), 8u);
  double half = 0.5;
  std::vector<std::uint8_t> bytes(8);
  std::memcpy(bytes.data(), &half, 8);
  ASSERT_EQ(p->setComponentState(bytes), Steinberg::kResultOk);
  EXPECT_DOUBLE_EQ(p->controllerNormalized(0), 0.5);
  p.reset();  // teardown while processing: disconnect, terminate both, release
}

}  // namespace
}  // namespace brimo::host
