#include "IControl.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "IGraphics.h"
#include "IParamDef.h"
#include "IPlugBase.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// True when a and b differ; a NaN on either side counts as a difference.
bool Differs(double a, double b) {
  return !(a == b);
}

// Frame drawing shared by the bitmap control and the film-strip knob: the 1-based frame for value
// and the source offset of that frame in the strip.
int32_t FrameFor(const IBitmapHandle& bitmap, double value) {
  const int32_t n = bitmap.frames;
  if (n < 2) return 1;
  const double f = double(n - 1) * value + 0.5;
  // Negative, NaN and overflowing results draw the first frame.
  if (!(f >= 0.0) || f >= double(std::numeric_limits<int32_t>::max())) return 1;
  return std::min(int32_t(f) + 1, n);
}

bool DrawFrame(IGraphics* graphics, const IBitmapHandle& bitmap, const IBox& box, double value,
               const IBlend& blend) {
  if (!graphics) return false;
  const int32_t f = FrameFor(bitmap, value);
  int32_t srcX = 0;
  int32_t srcY = 0;
  if (bitmap.frames >= 2 && f >= 2) {
    const double share = double(f - 1) / double(bitmap.frames);
    if (bitmap.framesHorizontal)
      srcX = int32_t(double(bitmap.width) * share + 0.5);
    else
      srcY = int32_t(double(bitmap.height) * share + 0.5);
  }
  graphics->DrawBitmap(bitmap, box, srcX, srcY, &blend);
  return true;
}

}  // namespace

IControl::IControl(IPlugBase* plugin, IBox box, int32_t paramIndex, IBlend blend)
    : plugin(plugin), box(box), hitBox(box), paramIndex(paramIndex), blend(blend) {}

void IControl::OnMouseDown(int32_t, int32_t, const IMouseMods& mods) {
  if (mods.right) PromptForValue();
}

void IControl::OnMouseDoubleClick(int32_t, int32_t, const IMouseMods&) {
  const double reset = resetValue.load(kRelaxed);
  if (reset < 0.0) return;
  value.store(reset, kRelaxed);
  MarkDirty(true);
}

void IControl::SetValueFromPlugin(double v) {
  // A NaN is no value: it would reach the host with the next edit.
  if (std::isnan(v)) return;
  if (resetValue.load(kRelaxed) < 0.0) {
    // The first value the plug-in pushes is the default a double click restores.
    value.store(v, kRelaxed);
    resetValue.store(v, kRelaxed);
    return;
  }
  if (Differs(v, value.load(kRelaxed))) {
    value.store(v, kRelaxed);
    // Pending first: a clean between the two still leaves the control dirty.
    RaiseRedrawFlags(kRedrawPending);
    MarkDirty(false);
  }
}

void IControl::SetValueFromUser(double v) {
  if (std::isnan(v)) return;
  if (Differs(v, value.load(kRelaxed))) {
    value.store(v, kRelaxed);
    RaiseRedrawFlags(kRedrawPending);
    MarkDirty(true);
  }
}

void IControl::SetAuxValueFromPlugin(int32_t position, double v) {
  IAuxBinding* binding = GetAuxBinding(position);
  if (std::isnan(v) || !binding || !Differs(v, binding->value.load(kRelaxed))) return;
  binding->value.store(v, kRelaxed);
  RaiseRedrawFlags(kRedrawPending);
  MarkDirty(false);
}

void IControl::Hide(bool hide) {
  hidden = hide;
  RaiseRedrawFlags(kRedrawPending);
  MarkDirty(false);
}

void IControl::GreyOut(bool grey) {
  greyed = grey;
  blend.weight = grey ? 0.25f : 1.0f;
  MarkDirty(false);
}

void IControl::MarkDirty(bool pushToPlugin) {
  double v = value.load(kRelaxed);
  if (v < clampLo)
    v = clampLo;
  else if (v > clampHi)
    v = clampHi;  // a NaN stays NaN
  value.store(v, kRelaxed);
  RaiseRedrawFlags(kDirty);
  if (pushToPlugin && plugin && paramIndex >= 0 && !std::isnan(v)) {
    // Inside an edit the graphics object frames itself, the value goes through it.
    IGraphics* graphics = Graphics();
    if (graphics && graphics->HoldsEditOf(this))
      graphics->HoldEdit(v);
    else
      plugin->SetParamFromEditor(paramIndex, v);
  }
}

void IControl::MarkClean() {
  // One atomic step: dirty takes redrawPending's value and redrawPending clears, so a push from
  // the processing thread lands either before (and is drawn again) or after (and stays dirty).
  uint8_t flags = redrawFlags.load(kRelaxed);
  while (!redrawFlags.compare_exchange_weak(flags, (flags & kRedrawPending) ? kDirty : 0,
                                            std::memory_order_acq_rel, kRelaxed)) {}
}

int32_t IControl::AuxBindingPosition(int32_t paramIdx) const {
  for (size_t k = 0; k < auxBindings.size(); ++k)
    if (auxBindings[k].paramIndex == paramIdx) return int32_t(k);
  return -1;
}

IGraphics* IControl::Graphics() const {
  return plugin ? plugin->GetGraphics() : nullptr;
}

void IControl::PromptForValue() {
  if (paramIndex < 0 || promptDisabled || !plugin) return;
  IParamDef* param = plugin->GetParam(paramIndex);
  IGraphics* graphics = Graphics();
  if (!param || !graphics) return;
  IBox promptBox = box;
  if (param->NDisplayTexts() == 0) {
    // A 40 x 16 text box centred on the control.
    const int32_t cx = int32_t(float(box.L + box.R) * 0.5f);
    const int32_t cy = int32_t(float(box.T + box.B) * 0.5f);
    promptBox = {cx - 20, cy - 8, cx + 20, cy + 8};
  }
  graphics->PromptUserInput(this, param, promptBox);
  RaiseRedrawFlags(kRedrawPending);
}

// ---- Bitmap control ----

IBox IBitmapControl::FrameBox(int32_t x, int32_t y, const IBitmapHandle& bitmap) {
  const int32_t frames = bitmap.frames > 0 ? bitmap.frames : 1;
  if (bitmap.framesHorizontal) return {x, y, x + bitmap.width / frames, y + bitmap.height};
  return {x, y, x + bitmap.width, y + bitmap.height / frames};
}

IBitmapControl::IBitmapControl(IPlugBase* plugin, int32_t x, int32_t y, int32_t paramIndex,
                               const IBitmapHandle& bitmap, int32_t blendMethod)
    : IControl(plugin, FrameBox(x, y, bitmap), paramIndex, IBlend{blendMethod, 1.0f}),
      bitmap(bitmap) {}

bool IBitmapControl::Draw(IGraphics* graphics) {
  return DrawFrame(graphics, bitmap, box, GetValue(), blend);
}

int32_t IBitmapControl::FrameNumber() const {
  return FrameFor(bitmap, GetValue());
}

void ISwitchControl::OnMouseDown(int32_t, int32_t, const IMouseMods&) {
  const double step = bitmap.frames <= 1 ? 1.0 : 1.0 / double(bitmap.frames - 1);
  double v = GetValue() + step;
  if (v > 1.001) v = 0.0;
  SetValue(v);
  MarkDirty(true);
}

// ---- Knobs ----

IKnobControl::IKnobControl(IPlugBase* plugin, IBox box, int32_t paramIndex, int32_t direction,
                           double gearing)
    : IControl(plugin, box, paramIndex), direction(direction), gearing(gearing) {}

void IKnobControl::OnMouseDrag(int32_t, int32_t, int32_t dX, int32_t dY, const IMouseMods& mods) {
  const double g = (mods.control || mods.shift) ? gearing * 10.0 : gearing;
  if (direction == 0)
    SetValue(GetValue() + double(dY) / double(box.T - box.B) / g);
  else
    SetValue(GetValue() + double(dX) / double(box.R - box.L) / g);
  MarkDirty(true);
}

void IKnobControl::OnMouseWheel(int32_t, int32_t, const IMouseMods& mods, int32_t notches) {
  const double perNotch = (mods.control || mods.shift) ? 0.001 : 0.01;
  SetValue(GetValue() + double(notches) * perNotch);
  MarkDirty(true);
}

IKnobMultiControl::IKnobMultiControl(IPlugBase* plugin, int32_t x, int32_t y, int32_t paramIndex,
                                     const IBitmapHandle& bitmap, int32_t direction, double gearing)
    : IKnobControl(plugin, IBitmapControl::FrameBox(x, y, bitmap), paramIndex, direction, gearing),
      bitmap(bitmap) {}

bool IKnobMultiControl::Draw(IGraphics* graphics) {
  return DrawFrame(graphics, bitmap, box, GetValue(), blend);
}

int32_t IKnobMultiControl::FrameNumber() const {
  return FrameFor(bitmap, GetValue());
}

// ---- Web address ----

IURLControl::IURLControl(IPlugBase* plugin, IBox box, const char* urlText, const char* backupText,
                         const char* titleText)
    : IControl(plugin, box, -1) {
  CopyTruncated(url, urlText, sizeof url);
  CopyTruncated(backupUrl, backupText, sizeof backupUrl);
  CopyTruncated(title, titleText, sizeof title);
}

void IURLControl::OnMouseDown(int32_t, int32_t, const IMouseMods&) {
  IGraphics* graphics = Graphics();
  if (!graphics) return;
  if (url[0] && graphics->OpenUrl(url, title, nullptr, nullptr)) return;
  if (backupUrl[0]) graphics->OpenUrl(backupUrl, title, nullptr, nullptr);
}
