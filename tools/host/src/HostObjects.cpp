#include "HostObjects.h"

#include <algorithm>

namespace brimo::host {

using namespace Steinberg;

tresult PLUGIN_API HostContext::getName(Vst::String128 name) {
  size_t n = std::min<size_t>(name_.size(), 127);
  for (size_t i = 0; i < n; ++i) name[i] = static_cast<unsigned char>(name_[i]);
  name[n] = 0;
  return kResultOk;
}

tresult PLUGIN_API HostContext::queryInterface(const TUID iid, void** obj) {
  if (!offer_) {
    QUERY_INTERFACE(iid, obj, FUnknown::iid, FUnknown)
    *obj = nullptr;
    return kNoInterface;
  }
  return HostApplication::queryInterface(iid, obj);
}

tresult PLUGIN_API ComponentHandler::beginEdit(Vst::ParamID) {
  return kResultOk;
}

tresult PLUGIN_API ComponentHandler::performEdit(Vst::ParamID, Vst::ParamValue) {
  edits.fetch_add(1, std::memory_order_relaxed);
  return kResultOk;
}

tresult PLUGIN_API ComponentHandler::endEdit(Vst::ParamID) {
  return kResultOk;
}

tresult PLUGIN_API ComponentHandler::restartComponent(int32 flags) {
  lastRestartFlags.store(flags, std::memory_order_relaxed);
  restarts.fetch_add(1, std::memory_order_relaxed);
  return kResultOk;
}

tresult PLUGIN_API ComponentHandler::queryInterface(const TUID iid, void** obj) {
  QUERY_INTERFACE(iid, obj, FUnknown::iid, Vst::IComponentHandler)
  QUERY_INTERFACE(iid, obj, Vst::IComponentHandler::iid, Vst::IComponentHandler)
  *obj = nullptr;
  return kNoInterface;
}

int32 PLUGIN_API ParamValueQueue::getPointCount() {
  return static_cast<int32>(points.size());
}

tresult PLUGIN_API ParamValueQueue::getPoint(int32 index, int32& sampleOffset,
                                             Vst::ParamValue& value) {
  if (index < 0 || index >= getPointCount()) return kResultFalse;
  sampleOffset = points[static_cast<size_t>(index)].offset;
  value = points[static_cast<size_t>(index)].value;
  return kResultOk;
}

tresult PLUGIN_API ParamValueQueue::addPoint(int32 sampleOffset, Vst::ParamValue value,
                                             int32& index) {
  // Points stay sorted by offset; a point at an existing offset replaces it.
  auto it = std::lower_bound(points.begin(), points.end(), sampleOffset,
                             [](const Point& p, int32 o) { return p.offset < o; });
  if (it != points.end() && it->offset == sampleOffset) {
    it->value = value;
  } else {
    it = points.insert(it, Point{sampleOffset, value});
  }
  index = static_cast<int32>(it - points.begin());
  return kResultOk;
}

tresult PLUGIN_API ParamValueQueue::queryInterface(const TUID iid, void** obj) {
  QUERY_INTERFACE(iid, obj, FUnknown::iid, Vst::IParamValueQueue)
  QUERY_INTERFACE(iid, obj, Vst::IParamValueQueue::iid, Vst::IParamValueQueue)
  *obj = nullptr;
  return kNoInterface;
}

Vst::IParamValueQueue* PLUGIN_API ParameterChanges::getParameterData(int32 index) {
  if (index < 0 || index >= used_) return nullptr;
  return queues_[static_cast<size_t>(index)].get();
}

Vst::IParamValueQueue* PLUGIN_API ParameterChanges::addParameterData(const Vst::ParamID& id,
                                                                     int32& index) {
  for (int32 i = 0; i < used_; ++i) {
    if (queues_[static_cast<size_t>(i)]->id == id) {
      index = i;
      return queues_[static_cast<size_t>(i)].get();
    }
  }
  if (static_cast<size_t>(used_) == queues_.size())
    queues_.push_back(std::make_unique<ParamValueQueue>());
  ParamValueQueue* q = queues_[static_cast<size_t>(used_)].get();
  q->id = id;
  q->points.clear();
  index = used_++;
  return q;
}

tresult PLUGIN_API ParameterChanges::queryInterface(const TUID iid, void** obj) {
  QUERY_INTERFACE(iid, obj, FUnknown::iid, Vst::IParameterChanges)
  QUERY_INTERFACE(iid, obj, Vst::IParameterChanges::iid, Vst::IParameterChanges)
  *obj = nullptr;
  return kNoInterface;
}

void ParameterChanges::add(Vst::ParamID id, int32 offset, double value) {
  int32 index = 0;
  Vst::IParamValueQueue* q = addParameterData(id, index);
  int32 pointIndex = 0;
  q->addPoint(offset, value, pointIndex);
}

void ParameterChanges::clear() {
  for (int32 i = 0; i < used_; ++i) queues_[static_cast<size_t>(i)]->points.clear();
  used_ = 0;
}

}  // namespace brimo::host
