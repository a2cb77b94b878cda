// The module's exported entry points and its one registered class.
//
// Exports (all others are hidden by the link step): GetPluginFactory, InitDll, ExitDll and, for
// Linux hosts, ModuleEntry and ModuleExit.
#include "ModuleEntry.h"

#include "ClassFactory.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"

#include <cstring>
#include <mutex>
#include <new>

#if defined(_WIN32)
#include <windows.h>
#define BRIMO_EXPORT extern "C" __declspec(dllexport)
#else
#define BRIMO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

using namespace Steinberg;

namespace {

void* gAttachedHandle = nullptr;  // recorded when the library is attached / entered
void* gInstanceHandle = nullptr;  // published by InitDll

// Only the factory pointer is shared between GetPluginFactory calls; the factory clears it when it
// is destroyed, so a later call builds a fresh one.
brimo::vst3::ClassFactory* gFactory = nullptr;
std::mutex gFactoryMutex;

std::mutex& creationMutex() {
  static std::mutex m;
  return m;
}

FUnknown* createInstance(void*) {
  std::lock_guard<std::mutex> guard(creationMutex());
  try {
    return brimo::NewPluginInstance();
  } catch (...) {
    return nullptr;
  }
}

class ModuleFactory : public brimo::vst3::ClassFactory {
public:
  using ClassFactory::ClassFactory;

  // The count drops under the same mutex GetPluginFactory holds while it adds a reference, so
  // a dying factory is never handed out again.
  uint32 PLUGIN_API release() SMTG_OVERRIDE {
    std::unique_lock<std::mutex> guard(gFactoryMutex);
    const int32 left = FUnknownPrivate::atomicAdd(refCount, -1);
    if (left != 0) return static_cast<uint32>(left);
    if (gFactory == this) gFactory = nullptr;
    guard.unlock();
    delete this;
    return 0;
  }
};

const PClassInfo2& classInfo() {
  static const PClassInfo2 info = [] {
    const PluginIdentity& id = brimo::ModuleIdentity();
    TUID cid;
    brimo::MakeClassId(cid, id);
    return PClassInfo2(cid, PClassInfo::kManyInstances, kVstAudioEffectClass, id.name,
                       Vst::kSimpleModeSupported, id.subCategories, "", id.version, "VST 3.6.12");
  }();
  return info;
}

}  // namespace

namespace brimo {

void* ModuleInstanceHandle() {
  return gInstanceHandle;
}

void MakeClassId(TUID cid, const PluginIdentity& id) {
  // The SDK lays the four words out in each platform's own order, so hosts on every platform
  // print and store the same id string and projects move between them.
  FUID(id.classIdWord1, id.classIdWord2, FourCC(id.makerCode), FourCC(id.uniqueCode)).toTUID(cid);
}

IPluginFactory* AcquirePluginFactory() {
  std::lock_guard<std::mutex> guard(gFactoryMutex);
  if (gFactory != nullptr) {
    gFactory->addRef();
    return gFactory;
  }
  const PluginIdentity& id = ModuleIdentity();
  PFactoryInfo info(id.vendor, id.url, id.email, PFactoryInfo::kUnicode);
  auto* factory = new (std::nothrow) ModuleFactory(info);
  if (factory == nullptr) return nullptr;
  if (!factory->registerClass(&classInfo(), createInstance)) {
    delete factory;  // never shared
    return nullptr;
  }
  gFactory = factory;
  return factory;
}

}  // namespace brimo

BRIMO_EXPORT IPluginFactory* PLUGIN_API GetPluginFactory() {
  return brimo::AcquirePluginFactory();
}

BRIMO_EXPORT bool InitDll() {
  gInstanceHandle = gAttachedHandle;
  return true;
}

BRIMO_EXPORT bool ExitDll() {
  return true;
}

#if defined(_WIN32)
// The library-attach hook runs before any export, so InitDll always finds the handle.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) gAttachedHandle = instance;
  return TRUE;
}
#else
BRIMO_EXPORT bool ModuleEntry(void* sharedLibraryHandle) {
  gAttachedHandle = sharedLibraryHandle;
  return InitDll();
}

BRIMO_EXPORT bool ModuleExit() {
  return ExitDll();
}
#endif
