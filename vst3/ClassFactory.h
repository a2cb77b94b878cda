// The module's class factory (IPluginFactory3), our own in place of the SDK's plug-in factory
// class, which the SDK copy we build against does not ship.
//
// Classes are registered with a PClassInfo2 (or a PClassInfo) and a creation function. Hosts can
// enumerate them through PClassInfo, PClassInfo2 and PClassInfoW, and createInstance calls the
// creation function, asks the new object for the requested interface and drops the creation
// reference, so the caller ends up holding exactly one reference. Reference counting is FObject's.
//
// Thread contract: registration happens once, before the factory is handed out; the queries only
// read. createInstance may be called from any thread; the creation function serialises itself.
#pragma once

#include "base/source/fobject.h"
#include "pluginterfaces/base/ipluginbase.h"

#include <vector>

namespace brimo::vst3 {

using namespace Steinberg;

class ClassFactory : public FObject, public IPluginFactory3 {
public:
  using CreateFunction = FUnknown* (*)(void* context);

  explicit ClassFactory(const PFactoryInfo& info);
  ~ClassFactory() override;

  bool registerClass(const PClassInfo* info, CreateFunction createFunc, void* context = nullptr);
  bool registerClass(const PClassInfo2* info, CreateFunction createFunc, void* context = nullptr);
  bool isClassRegistered(const FUID& cid) const;

  // IPluginFactory
  tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) SMTG_OVERRIDE;
  int32 PLUGIN_API countClasses() SMTG_OVERRIDE;
  tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) SMTG_OVERRIDE;
  tresult PLUGIN_API createInstance(FIDString cid, FIDString iid, void** obj) SMTG_OVERRIDE;
  // IPluginFactory2
  tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) SMTG_OVERRIDE;
  // IPluginFactory3
  tresult PLUGIN_API getClassInfoUnicode(int32 index, PClassInfoW* info) SMTG_OVERRIDE;
  tresult PLUGIN_API setHostContext(FUnknown* context) SMTG_OVERRIDE;

  OBJ_METHODS(ClassFactory, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(IPluginFactory)
  DEF_INTERFACE(IPluginFactory2)
  DEF_INTERFACE(IPluginFactory3)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

private:
  struct ClassEntry {
    PClassInfo2 info8;
    PClassInfoW info16;
    CreateFunction createFunc = nullptr;
    void* context = nullptr;
  };

  PFactoryInfo factoryInfo;
  std::vector<ClassEntry> classes;
};

}  // namespace brimo::vst3
