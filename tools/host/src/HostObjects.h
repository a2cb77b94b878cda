// Objects the host hands to the plug-in: the host context, the component handler and the
// parameter-change queues. They live as long as the Plugin that owns them, so reference counting
// is a formality: addRef and release answer 1 and never delete.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

namespace brimo::host {

// IHostApplication with a chosen name. When the name is not offered, the context answers only
// FUnknown, like a host that gives the plug-in nothing to identify it by.
class HostContext final : public Steinberg::Vst::HostApplication {
public:
  HostContext(std::string name, bool offerApplication)
      : name_(std::move(name)), offer_(offerApplication) {}
  Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override;
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;

private:
  std::string name_;
  bool offer_;
};

// Counts what the plug-in reports; the counts may be read from any thread.
class ComponentHandler final : public Steinberg::Vst::IComponentHandler {
public:
  Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID) override;
  Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID,
                                            Steinberg::Vst::ParamValue) override;
  Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID) override;
  Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override;
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
  Steinberg::uint32 PLUGIN_API release() override { return 1; }

  std::atomic<int> edits{0};
  std::atomic<int> restarts{0};
  std::atomic<Steinberg::int32> lastRestartFlags{0};
};

class ParamValueQueue final : public Steinberg::Vst::IParamValueQueue {
public:
  Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return id; }
  Steinberg::int32 PLUGIN_API getPointCount() override;
  Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& sampleOffset,
                                         Steinberg::Vst::ParamValue& value) override;
  Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset,
                                         Steinberg::Vst::ParamValue value,
                                         Steinberg::int32& index) override;
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
  Steinberg::uint32 PLUGIN_API release() override { return 1; }

  struct Point {
    Steinberg::int32 offset;
    double value;
  };
  Steinberg::Vst::ParamID id = 0;
  std::vector<Point> points;  // capacity is kept across blocks
};

class ParameterChanges final : public Steinberg::Vst::IParameterChanges {
public:
  Steinberg::int32 PLUGIN_API getParameterCount() override { return used_; }
  Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override;
  Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
                                                                Steinberg::int32& index) override;
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
  Steinberg::uint32 PLUGIN_API release() override { return 1; }

  void add(Steinberg::Vst::ParamID id, Steinberg::int32 offset, double value);
  void clear();
  bool empty() const { return used_ == 0; }

private:
  std::vector<std::unique_ptr<ParamValueQueue>> queues_;
  Steinberg::int32 used_ = 0;
};

}  // namespace brimo::host
