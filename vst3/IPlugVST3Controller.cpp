// The edit controller: parameter queries and edits, editor views, units and the program list, and
// what the plug-in base asks of the host (gestures, latency, context menus, editor size).
#include "IPlugVST3.h"
#include "IPlugVST3View.h"

#include "IGraphics.h"
#include "IPlugParameter.h"

#include "base/source/fobject.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API IPlugVST3::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
  if (paramIndex < 0 || paramIndex >= parameters.getParameterCount()) return kInvalidArgument;
  info = parameters.getParameterByIndex(paramIndex)->getInfo();
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                                    String128 string) {
  if (string == nullptr || id >= static_cast<ParamID>(ParamCount())) return kResultFalse;
  IPlugParameter::FormatNormalized(*GetParam(static_cast<int32_t>(id)), valueNormalized, string);
  return kResultOk;
}

ParamValue PLUGIN_API IPlugVST3::plainParamToNormalized(ParamID id, ParamValue plain) {
  if (id >= static_cast<ParamID>(ParamCount())) return plain;
  return GetParam(static_cast<int32_t>(id))->ToNormalized(plain);
}

ParamValue PLUGIN_API IPlugVST3::getParamNormalized(ParamID id) {
  if (id == kBypassParamId) return IsBypassed() ? 1.0 : 0.0;
  if (id >= static_cast<ParamID>(ParamCount())) return 0.0;
  return GetParam(static_cast<int32_t>(id))->GetNormalized();
}

tresult PLUGIN_API IPlugVST3::setParamNormalized(ParamID id, ParamValue value) {
  const bool bypass = id == kBypassParamId && !IsInstrument();
  if (!bypass && id >= static_cast<ParamID>(ParamCount())) return kResultFalse;
  if (std::isnan(value)) return kResultFalse;
  value = std::clamp(value, 0.0, 1.0);
  // Under the plug-in lock, so the value never changes in the middle of a block or a state save.
  // What the host sets here is at once what it reads back, what the plug-in plays and what a
  // state save stores, with or without a processing call in between.
  LockGuard guard(GetLock());
  if (bypass)
    SetBypassed(value > 0.5);
  else
    ApplyParamValue(static_cast<int32_t>(id), value);
  return kResultOk;
}

IPlugView* PLUGIN_API IPlugVST3::createView(FIDString name) {
  if (name == nullptr || std::strcmp(name, ViewType::kEditor) != 0) return nullptr;
  // The view adds its reference to this object and joins the list; the host gets the reference
  // the view starts with.
  return new (std::nothrow) IPlugVST3View(this);
}

// ---------------------------------------------------------------------------------------------
// Units and the program list

int32 PLUGIN_API IPlugVST3::getUnitCount() {
  return 1 + static_cast<int32>(UnitGroups().size());
}

tresult PLUGIN_API IPlugVST3::getUnitInfo(int32 unitIndex, UnitInfo& info) {
  const auto& groups = UnitGroups();
  if (unitIndex == 0) {
    info.id = kRootUnitId;
    info.parentUnitId = kNoParentUnitId;
    WidenToUtf16("Root Unit", info.name);
  } else if (unitIndex >= 1 && unitIndex <= static_cast<int32>(groups.size())) {
    info.id = unitIndex;
    info.parentUnitId = kRootUnitId;
    WidenToUtf16(groups[size_t(unitIndex - 1)], info.name);
  } else
    return kResultFalse;
  info.programListId = kNoProgramListId;
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::getProgramListInfo(int32 listIndex, ProgramListInfo& info) {
  if (listIndex != 0) return kResultFalse;
  info.id = kPresetParamId;
  WidenToUtf16("Factory Presets", info.name);
  info.programCount = PresetCount();
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::getProgramName(ProgramListID listId, int32 programIndex,
                                             String128 name) {
  if (listId != static_cast<ProgramListID>(kPresetParamId) || name == nullptr) return kResultFalse;
  // A preset's name changes when processing restores it for the first time.
  LockGuard guard(GetLock());
  WidenToUtf16(GetPresetName(programIndex), name);
  return kResultOk;
}

// ---------------------------------------------------------------------------------------------
// What the plug-in base asks of the host

void IPlugVST3::BeginParamGesture(int32_t paramIdx) {
  beginEdit(static_cast<ParamID>(paramIdx));
}

void IPlugVST3::SendParamToHost(int32_t paramIdx, double normalized) {
  performEdit(static_cast<ParamID>(paramIdx), normalized);
}

void IPlugVST3::EndParamGesture(int32_t paramIdx) {
  endEdit(static_cast<ParamID>(paramIdx));
}

void IPlugVST3::SetLatency(int32_t samples) {
  // The base takes and releases the lock; the host hears of it afterwards, never under it.
  IPlugBase::SetLatency(samples);
  if (componentHandler) componentHandler->restartComponent(kLatencyChanged);
}

namespace {

// The item "Enter value..." that the plug-in adds to the host's menu of a parameter. The host may
// run it after the menu has closed, or never; it holds the plug-in until the host lets it go.
class EnterValueTarget : public FObject, public IContextMenuTarget {
public:
  EnterValueTarget(IPlugVST3* plug, int32_t paramIdx) : plug(plug), paramIdx(paramIdx) {
    plug->addRef();
  }
  ~EnterValueTarget() override { plug->release(); }

  tresult PLUGIN_API executeMenuItem(int32 /*tag*/) override {
    try {
      IGraphics* graphics = plug->GetGraphics();
      return graphics && graphics->OpenValueEntryForParam(paramIdx) ? kResultOk : kResultFalse;
    } catch (...) {
      return kResultFalse;
    }
  }

  OBJ_METHODS(EnterValueTarget, FObject)
  DEFINE_INTERFACES
  DEF_INTERFACE(IContextMenuTarget)
  END_DEFINE_INTERFACES(FObject)
  REFCOUNT_METHODS(FObject)

private:
  IPlugVST3* plug;
  int32_t paramIdx;
};

}  // namespace

bool IPlugVST3::ShowHostContextMenu(int32_t paramIdx, int32_t x, int32_t y) {
  // The menu belongs to the view that holds the editor window; without one there is none to ask.
  if (componentHandler == nullptr || windowView == nullptr) return false;
  FUnknownPtr<IComponentHandler3> handler(componentHandler);
  if (!handler) return false;
  IPtr<IPlugView> view(windowView);  // the host may close the view while its menu is up
  ParamID id = static_cast<ParamID>(paramIdx);
  IContextMenu* menu = handler->createContextMenu(view, &id);
  if (!menu) return false;
  if (IGraphics* graphics = GetGraphics(); graphics && graphics->CanEnterValue(paramIdx)) {
    IContextMenuItem item = {};
    const char title[] = "Enter value...";
    for (size_t i = 0; i < sizeof title; ++i) item.name[i] = static_cast<TChar>(title[i]);
    item.tag = 1;
    auto* target = new (std::nothrow) EnterValueTarget(this, paramIdx);
    if (target) {
      menu->addItem(item, target);
      target->release();  // the menu holds it now
    }
  }
  menu->popup(x, y);
  menu->release();
  return true;
}

void IPlugVST3::ResizeEditor(int32_t width, int32_t height) {
  // Resizing goes through the frame of the view that holds the editor window; with none, or
  // before the host has given it a frame, there is no one to ask.
  if (GetGraphics() == nullptr || windowView == nullptr) return;
  IPtr<IPlugVST3View> view(windowView);
  view->RequestResize(width, height);
}

void IPlugVST3::AddEditorCallbackRef() {
  addRef();
}

void IPlugVST3::ReleaseEditorCallbackRef() {
  release();
}
