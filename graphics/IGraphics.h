#pragma once

// The editor model as the plug-in base sees it: an owned, ordered list of controls, each bound to
// at most one parameter plus optional secondary bindings, and the drawing surface. The drawing,
// dispatch and window operations extend this class; nothing here names a platform API.

#include <cstdint>
#include <vector>

#include "IPlugBase.h"

// A secondary parameter binding of a control, with its own normalised value.
struct IAuxBinding {
  double value = 0.0;
  int32_t paramIndex = -1;
};

// One rectangle of the editor holding a normalised value. Controls are owned by the graphics
// object once attached.
//
// SetValueFromPlugin and SetAuxValueFromPlugin may run on the host's processing thread under the
// plug-in lock; they only store the value and mark the control for redrawing.
class IControl {
public:
  virtual ~IControl() = default;

  virtual void SetValueFromPlugin(double value) = 0;
  virtual void SetAuxValueFromPlugin(int32_t position, double value) = 0;

  int32_t ParamIdx() const { return paramIndex; }
  int32_t NAuxBindings() const { return int32_t(auxBindings.size()); }
  IAuxBinding* GetAuxBinding(int32_t position) {
    return position >= 0 && position < NAuxBindings() ? &auxBindings[size_t(position)] : nullptr;
  }
  void AddAuxBinding(int32_t paramIdx) { auxBindings.push_back(IAuxBinding{0.0, paramIdx}); }
  // Position of the first secondary binding to paramIdx, or -1.
  int32_t AuxBindingPosition(int32_t paramIdx) const {
    for (size_t k = 0; k < auxBindings.size(); ++k)
      if (auxBindings[k].paramIndex == paramIdx) return int32_t(k);
    return -1;
  }

protected:
  IControl(IPlugBase* plugin, int32_t paramIndex) : plugin(plugin), paramIndex(paramIndex) {}

  IPlugBase* plugin = nullptr;
  int32_t paramIndex = -1;
  std::vector<IAuxBinding> auxBindings;
};

class IGraphics {
public:
  IGraphics(IPlugBase* plugin, int32_t width, int32_t height, int32_t framesPerSecond)
      : plugin(plugin), width(width), height(height), framesPerSecond(framesPerSecond) {}
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  // Deletes the controls, last first.
  virtual ~IGraphics() {
    for (size_t i = controls.size(); i-- > 0;) delete controls[i];
  }

  // Creates the drawing surface of width x height; called when the base attaches the graphics.
  virtual void PrepareDrawSurface() = 0;

  // Takes ownership of control and appends it; returns its index.
  int32_t AttachControl(IControl* control) {
    controls.push_back(control);
    return int32_t(controls.size()) - 1;
  }
  int32_t NControls() const { return int32_t(controls.size()); }
  IControl* GetControl(int32_t index) const {
    return index >= 0 && index < NControls() ? controls[size_t(index)] : nullptr;
  }

  // Pushes one normalised value into every control bound to paramIdx: SetValueFromPlugin for a
  // control whose parameter it is, SetAuxValueFromPlugin for a control's first secondary binding to
  // it.
  void SetControlsFromPlugin(int32_t paramIdx, double normalized) {
    for (IControl* control : controls) {
      if (!control) continue;
      if (control->ParamIdx() == paramIdx) control->SetValueFromPlugin(normalized);
      const int32_t k = control->AuxBindingPosition(paramIdx);
      if (k >= 0) control->SetAuxValueFromPlugin(k, normalized);
    }
  }

  // The same, from a plain value (converted with the parameter's ToNormalized) unless isNormalised.
  void SetParameterFromPlugin(int32_t paramIdx, double value, bool isNormalised = false) {
    if (!isNormalised) {
      const IParamDef* param = plugin ? plugin->GetParam(paramIdx) : nullptr;
      if (!param) return;
      value = param->ToNormalized(value);
    }
    SetControlsFromPlugin(paramIdx, value);
  }

  IPlugBase* GetPlugin() const { return plugin; }
  int32_t Width() const { return width; }
  int32_t Height() const { return height; }
  int32_t FramesPerSecond() const { return framesPerSecond; }

protected:
  std::vector<IControl*> controls;
  IPlugBase* plugin = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t framesPerSecond = 0;
};
