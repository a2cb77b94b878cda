// A host's component handler that records every edit the plug-in sends, in order, so tests can
// check that an editor gesture reached the host as begin / perform... / end.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "pluginterfaces/vst/ivsteditcontroller.h"

namespace brimo::test {

class RecordingHandler final : public Steinberg::Vst::IComponentHandler {
public:
  struct Edit {
    char kind;  // 'b' begin, 'p' perform, 'e' end
    Steinberg::Vst::ParamID id;
    Steinberg::Vst::ParamValue value;
    bool operator==(const Edit&) const = default;
  };
  Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override {
    edits.push_back({'b', id, 0.0});
    if (onEdit) onEdit();
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                            Steinberg::Vst::ParamValue value) override {
    edits.push_back({'p', id, value});
    if (onEdit) onEdit();
    if (onPerform) onPerform();
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override {
    edits.push_back({'e', id, 0.0});
    if (onEdit) onEdit();
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32) override {
    return Steinberg::kResultOk;
  }
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override {
    if (Steinberg::FUnknownPrivate::iidEqual(iid, IComponentHandler::iid) ||
        Steinberg::FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
      *obj = this;
      return Steinberg::kResultOk;
    }
    *obj = nullptr;
    return Steinberg::kNoInterface;
  }
  // Owned by the test, never by the plug-in.
  Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
  Steinberg::uint32 PLUGIN_API release() override { return 1; }

  std::vector<Edit> TakeEdits() { return std::exchange(edits, {}); }

  std::vector<Edit> edits;
  // Called after each recorded perform (a host reacting to an edit), and after every edit.
  std::function<void()> onPerform;
  std::function<void()> onEdit;
};

}  // namespace brimo::test
