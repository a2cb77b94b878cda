// The module's factory and entry points, driven as a host drives them, with a stand-in class in
// place of the plug-in.
#include "BRIMOIdentity.h"
#include "ModuleEntry.h"
#include "CombinedEffect.h"

#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstunits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

extern "C" IPluginFactory* PLUGIN_API GetPluginFactory();

namespace {

std::atomic<int> gLive{0};
std::atomic<int> gConstructing{0};
std::atomic<int> gOverlaps{0};

// Counts live instances and notices two constructors running at once.
class StandIn : public brimo::vst3::CombinedEffect {
public:
  StandIn() {
    if (gConstructing.fetch_add(1) != 0) gOverlaps.fetch_add(1);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    gConstructing.fetch_sub(1);
    gLive.fetch_add(1);
  }
  ~StandIn() override { gLive.fetch_sub(1); }
};

const char* expectedCid() {
  static const TUID bytes = INLINE_UID(0xF2AEE70D, 0x00DE4F4E, 0x4B77696C, 0x42726D31);
  return bytes;
}

std::string narrow(const char16* s) {
  std::string out;
  for (; *s; ++s) out += static_cast<char>(*s);
  return out;
}

struct FactoryRef {
  IPluginFactory* f = GetPluginFactory();
  ~FactoryRef() {
    if (f) f->release();
  }
};

}  // namespace

Steinberg::Vst::IAudioProcessor* brimo::NewPluginInstance() {
  return new StandIn();
}

// The stand-in reports the shipped plug-in's identity, so the factory is checked against it.
const PluginIdentity& brimo::ModuleIdentity() {
  return kBRIMOIdentity;
}

TEST(Factory, IsSharedWhileReferencedAndRebuiltAfterLastRelease) {
  IPluginFactory* a = GetPluginFactory();
  ASSERT_NE(a, nullptr);
  IPluginFactory* b = GetPluginFactory();
  EXPECT_EQ(a, b);
  // Two references from the two calls: adding one more reports three.
  EXPECT_EQ(a->addRef(), 3u);
  a->release();
  b->release();
  EXPECT_EQ(a->release(), 0u);

  FactoryRef again;
  ASSERT_NE(again.f, nullptr);
  EXPECT_EQ(again.f->countClasses(), 1);
}

TEST(Factory, DescribesTheOneClassInEveryInfoFlavour) {
  FactoryRef ref;
  IPluginFactory* f = ref.f;

  PFactoryInfo fi;
  ASSERT_EQ(f->getFactoryInfo(&fi), kResultOk);
  EXPECT_STREQ(fi.vendor, "KwillowAudioLab");
  EXPECT_EQ(fi.flags, PFactoryInfo::kUnicode);

  ASSERT_EQ(f->countClasses(), 1);
  PClassInfo ci;
  ASSERT_EQ(f->getClassInfo(0, &ci), kResultOk);
  EXPECT_EQ(std::memcmp(ci.cid, expectedCid(), 16), 0);
  EXPECT_STREQ(ci.category, "Audio Module Class");
  EXPECT_STREQ(ci.name, "BRIMO");
  EXPECT_EQ(ci.cardinality, PClassInfo::kManyInstances);
  EXPECT_NE(f->getClassInfo(1, &ci), kResultOk);
  EXPECT_NE(f->getClassInfo(-1, &ci), kResultOk);
  EXPECT_NE(f->getClassInfo(0, nullptr), kResultOk);

  FUnknownPtr<IPluginFactory2> f2(f);
  ASSERT_TRUE(f2);
  PClassInfo2 ci2;
  ASSERT_EQ(f2->getClassInfo2(0, &ci2), kResultOk);
  EXPECT_EQ(std::memcmp(ci2.cid, expectedCid(), 16), 0);
  EXPECT_STREQ(ci2.subCategories, "Fx|EQ");
  EXPECT_STREQ(ci2.version, "2.0.0");
  EXPECT_STREQ(ci2.sdkVersion, "VST 3.6.12");
  EXPECT_STREQ(ci2.vendor, "");
  EXPECT_EQ(ci2.classFlags, 2u);
  EXPECT_NE(f2->getClassInfo2(1, &ci2), kResultOk);

  FUnknownPtr<IPluginFactory3> f3(f);
  ASSERT_TRUE(f3);
  PClassInfoW ciw;
  ASSERT_EQ(f3->getClassInfoUnicode(0, &ciw), kResultOk);
  EXPECT_EQ(std::memcmp(ciw.cid, expectedCid(), 16), 0);
  EXPECT_EQ(narrow(ciw.name), "BRIMO");
  EXPECT_EQ(narrow(ciw.version), "2.0.0");
  EXPECT_EQ(narrow(ciw.sdkVersion), "VST 3.6.12");
  EXPECT_STREQ(ciw.category, "Audio Module Class");
  EXPECT_STREQ(ciw.subCategories, "Fx|EQ");
  EXPECT_NE(f3->getClassInfoUnicode(1, &ciw), kResultOk);
}

TEST(Factory, CreateInstanceHandsOutExactlyOneReference) {
  FactoryRef ref;
  const int before = gLive.load();
  void* obj = nullptr;
  ASSERT_EQ(ref.f->createInstance(expectedCid(), IComponent::iid, &obj), kResultOk);
  ASSERT_NE(obj, nullptr);
  auto* component = static_cast<IComponent*>(obj);
  EXPECT_EQ(gLive.load(), before + 1);

  // Every interface of the object answers and leads back to the same object.
  FUnknownPtr<IAudioProcessor> processor(component);
  FUnknownPtr<IEditController> controller(component);
  FUnknownPtr<IEditController2> controller2(component);
  FUnknownPtr<IUnitInfo> units(component);
  FUnknownPtr<IPluginBase> pluginBase(component);
  FUnknownPtr<IConnectionPoint> connection(component);
  EXPECT_TRUE(processor && controller && controller2 && units && pluginBase && connection);
  FUnknown* identity1 = nullptr;
  FUnknown* identity2 = nullptr;
  ASSERT_EQ(component->queryInterface(FUnknown::iid, (void**)&identity1), kResultOk);
  ASSERT_EQ(controller->queryInterface(FUnknown::iid, (void**)&identity2), kResultOk);
  EXPECT_EQ(identity1, identity2);
  identity1->release();
  identity2->release();
  void* none = nullptr;
  EXPECT_EQ(component->queryInterface(IPluginFactory::iid, &none), kNoInterface);
  EXPECT_EQ(none, nullptr);

  processor = nullptr;
  controller = nullptr;
  controller2 = nullptr;
  units = nullptr;
  pluginBase = nullptr;
  connection = nullptr;
  EXPECT_EQ(component->release(), 0u);
  EXPECT_EQ(gLive.load(), before);
}

TEST(Factory, RefusesUnknownClassesAndInterfacesWithoutLeaking) {
  FactoryRef ref;
  const int before = gLive.load();
  void* obj = reinterpret_cast<void*>(1);
  TUID other = {};
  EXPECT_EQ(ref.f->createInstance(other, IComponent::iid, &obj), kNoInterface);
  EXPECT_EQ(obj, nullptr);
  obj = reinterpret_cast<void*>(1);
  EXPECT_EQ(ref.f->createInstance(expectedCid(), IPluginFactory::iid, &obj), kNoInterface);
  EXPECT_EQ(obj, nullptr);
  EXPECT_EQ(gLive.load(), before);
  EXPECT_NE(ref.f->createInstance(nullptr, IComponent::iid, &obj), kResultOk);
  EXPECT_NE(ref.f->createInstance(expectedCid(), IComponent::iid, nullptr), kResultOk);
}

TEST(Factory, ConcurrentCreationIsSerialised) {
  FactoryRef ref;
  gOverlaps = 0;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20; ++i) {
        IPluginFactory* f = GetPluginFactory();
        void* obj = nullptr;
        if (f->createInstance(expectedCid(), IAudioProcessor::iid, &obj) != kResultOk)
          failures.fetch_add(1);
        else
          static_cast<IAudioProcessor*>(obj)->release();
        f->release();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(gOverlaps.load(), 0);
}
