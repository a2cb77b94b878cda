// The built bundle loaded as a host loads it: only the entry points are visible, and one instance
// goes through initialise, set-up, 32- and 64-bit processing and state.
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include "TestHost.h"

#include <gtest/gtest.h>

#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

using namespace testhost;

namespace {

class Library {
public:
  explicit Library(std::string path) {
#if defined(_WIN32)
    // Wine reaches the build tree through drive Z:.
    for (char& c : path)
      if (c == '/') c = '\\';
    handle = LoadLibraryA(("Z:" + path).c_str());
#else
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
  }
  ~Library() {
#if defined(_WIN32)
    if (handle) FreeLibrary(static_cast<HMODULE>(handle));
#else
    if (handle) dlclose(handle);
#endif
  }
  void* symbol(const char* name) const {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
  }
  void* handle = nullptr;
};

using GetFactory = IPluginFactory*(PLUGIN_API*)();
using BoolFunction = bool (*)();

}  // namespace

TEST(Bundle, ExportsOnlyTheEntryPointsAndRunsAnInstance) {
  Library module(BRIMO_BUNDLE_BINARY);
  ASSERT_NE(module.handle, nullptr) << BRIMO_BUNDLE_BINARY;
  auto getFactory = reinterpret_cast<GetFactory>(module.symbol("GetPluginFactory"));
  auto initDll = reinterpret_cast<BoolFunction>(module.symbol("InitDll"));
  auto exitDll = reinterpret_cast<BoolFunction>(module.symbol("ExitDll"));
  ASSERT_TRUE(getFactory && initDll && exitDll);
#if !defined(_WIN32)
  using Entry = bool (*)(void*);
  auto moduleEntry = reinterpret_cast<Entry>(module.symbol("ModuleEntry"));
  auto moduleExit = reinterpret_cast<BoolFunction>(module.symbol("ModuleExit"));
  ASSERT_TRUE(moduleEntry && moduleExit);
  ASSERT_TRUE(moduleEntry(module.handle));
#endif
  EXPECT_EQ(module.symbol("NewPluginInstance"), nullptr);
  EXPECT_EQ(module.symbol("_ZN5brimo17NewPluginInstanceEv"), nullptr);
  ASSERT_TRUE(initDll());

  IPluginFactory* factory = getFactory();
  ASSERT_NE(factory, nullptr);
  PClassInfo info;
  ASSERT_EQ(factory->getClassInfo(0, &info), kResultOk);
  void* obj = nullptr;
  ASSERT_EQ(factory->createInstance(info.cid, IComponent::iid, &obj), kResultOk);
  auto* component = static_cast<IComponent*>(obj);
  FUnknownPtr<IAudioProcessor> processor(component);
  FUnknownPtr<IEditController> controller(component);
  ASSERT_TRUE(processor && controller);

  HostApp host("Bundle test");
  ASSERT_EQ(component->initialize(&host), kResultOk);
  EXPECT_EQ(controller->getParameterCount(), 15);
  ASSERT_EQ(component->activateBus(kAudio, kInput, 0, true), kResultTrue);
  ASSERT_EQ(component->activateBus(kAudio, kOutput, 0, true), kResultTrue);
  for (int32 size : {kSample32, kSample64}) {
    auto setup = MakeSetup(44100.0, 256, size);
    ASSERT_EQ(processor->setupProcessing(setup), kResultOk);
    ASSERT_EQ(component->setActive(true), kResultOk);
    if (size == kSample32) {
      std::vector<std::vector<float>> in(2, std::vector<float>(300, 0.25f)),
          out(2, std::vector<float>(300, 9.0f));
      ASSERT_EQ(Process<float>(processor, in, out, 300), kResultOk);
      for (auto& channel : out)
        for (float s : channel) ASSERT_TRUE(std::isfinite(s) && std::fabs(s) < 8.0f);
    } else {
      std::vector<std::vector<double>> in(2, std::vector<double>(300, 0.25)),
          out(2, std::vector<double>(300, 9.0));
      ASSERT_EQ(Process<double>(processor, in, out, 300), kResultOk);
      for (auto& channel : out)
        for (double s : channel) ASSERT_TRUE(std::isfinite(s) && std::fabs(s) < 8.0);
    }
    ASSERT_EQ(component->setActive(false), kResultOk);
  }
  ByteStream state;
  ASSERT_EQ(controller->getState(&state), kResultOk);
  EXPECT_EQ(state.bytes.size(), 13u * 8u + 4u);

  processor = nullptr;
  controller = nullptr;
  EXPECT_EQ(component->terminate(), kResultOk);
  EXPECT_EQ(component->release(), 0u);
  EXPECT_EQ(factory->release(), 0u);
  EXPECT_TRUE(exitDll());
#if !defined(_WIN32)
  EXPECT_TRUE(moduleExit());
#endif
}

#if defined(_WIN32)
// The editor's thirteen images, and their twice-size set at ids 201-213, are resources of type
// "PNG" of the module itself.
TEST(Bundle, CarriesTheEditorImagesAsResources) {
  Library module(BRIMO_BUNDLE_BINARY);
  ASSERT_NE(module.handle, nullptr);
  auto instance = static_cast<HMODULE>(module.handle);
  for (int first : {101, 201}) {
    for (int id = first; id < first + 13; ++id) {
      HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(id), "PNG");
      ASSERT_NE(found, nullptr) << id;
      EXPECT_GT(SizeofResource(instance, found), 7u) << id;
    }
    EXPECT_EQ(FindResourceA(instance, MAKEINTRESOURCEA(first + 13), "PNG"), nullptr);
  }
}
#endif
