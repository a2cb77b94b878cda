#include "ClassFactory.h"

#include <cstring>
#include <new>

namespace brimo::vst3 {

ClassFactory::ClassFactory(const PFactoryInfo& info) : factoryInfo(info) {}

ClassFactory::~ClassFactory() = default;

bool ClassFactory::registerClass(const PClassInfo* info, CreateFunction createFunc, void* context) {
  if (info == nullptr || createFunc == nullptr) return false;
  PClassInfo2 info2;
  std::memcpy(info2.cid, info->cid, sizeof(TUID));
  info2.cardinality = info->cardinality;
  std::memcpy(info2.category, info->category, sizeof(info2.category));
  std::memcpy(info2.name, info->name, sizeof(info2.name));
  return registerClass(&info2, createFunc, context);
}

bool ClassFactory::registerClass(const PClassInfo2* info, CreateFunction createFunc,
                                 void* context) {
  if (info == nullptr || createFunc == nullptr) return false;
  try {
    ClassEntry entry;
    entry.info8 = *info;
    entry.info16.fromAscii(*info);
    entry.createFunc = createFunc;
    entry.context = context;
    classes.push_back(entry);
  } catch (...) {
    return false;
  }
  return true;
}

bool ClassFactory::isClassRegistered(const FUID& cid) const {
  for (const auto& entry : classes)
    if (FUnknownPrivate::iidEqual(cid, entry.info8.cid)) return true;
  return false;
}

tresult PLUGIN_API ClassFactory::getFactoryInfo(PFactoryInfo* info) {
  if (info == nullptr) return kInvalidArgument;
  *info = factoryInfo;
  return kResultOk;
}

int32 PLUGIN_API ClassFactory::countClasses() {
  return static_cast<int32>(classes.size());
}

tresult PLUGIN_API ClassFactory::getClassInfo(int32 index, PClassInfo* info) {
  if (info == nullptr) return kInvalidArgument;
  if (index < 0 || index >= countClasses()) return kInvalidArgument;
  const PClassInfo2& src = classes[static_cast<size_t>(index)].info8;
  std::memcpy(info->cid, src.cid, sizeof(TUID));
  info->cardinality = src.cardinality;
  std::memcpy(info->category, src.category, sizeof(info->category));
  std::memcpy(info->name, src.name, sizeof(info->name));
  return kResultOk;
}

tresult PLUGIN_API ClassFactory::getClassInfo2(int32 index, PClassInfo2* info) {
  if (info == nullptr) return kInvalidArgument;
  if (index < 0 || index >= countClasses()) return kInvalidArgument;
  *info = classes[static_cast<size_t>(index)].info8;
  return kResultOk;
}

tresult PLUGIN_API ClassFactory::getClassInfoUnicode(int32 index, PClassInfoW* info) {
  if (info == nullptr) return kInvalidArgument;
  if (index < 0 || index >= countClasses()) return kInvalidArgument;
  *info = classes[static_cast<size_t>(index)].info16;
  return kResultOk;
}

tresult PLUGIN_API ClassFactory::createInstance(FIDString cid, FIDString iid, void** obj) {
  if (obj == nullptr) return kInvalidArgument;
  *obj = nullptr;
  if (cid == nullptr || iid == nullptr) return kInvalidArgument;
  for (const auto& entry : classes) {
    if (!FUnknownPrivate::iidEqual(entry.info8.cid, cid)) continue;
    FUnknown* instance = entry.createFunc(entry.context);
    if (instance == nullptr) return kOutOfMemory;
    const tresult result = instance->queryInterface(iid, obj);
    // The creation reference goes; a successful query holds the caller's.
    instance->release();
    if (result != kResultOk) {
      *obj = nullptr;
      return kNoInterface;
    }
    return kResultOk;
  }
  return kNoInterface;
}

tresult PLUGIN_API ClassFactory::setHostContext(FUnknown* /*context*/) {
  // The plug-in needs nothing from the host at factory level.
  return kNotImplemented;
}

}  // namespace brimo::vst3
