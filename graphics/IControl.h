#pragma once

// The controls of the editor: rectangles holding a normalised value, optionally bound to a
// parameter of the plug-in, that draw themselves into the graphics object's surface and react to
// the events its dispatch hands them.
//
// Threads: SetValueFromPlugin and SetAuxValueFromPlugin also run on the host's processing thread
// (under the plug-in lock) while the user-interface thread draws. They touch only value,
// resetValue, the bindings' values and the redraw flags, which are atomics for that reason;
// everything else runs on the user-interface thread. The two redraw flags (dirty, redrawPending)
// share one atomic word, so a push that lands while the control is being cleaned is never lost.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "IGraphicsRecords.h"

class IPlugBase;
class IParamDef;
class IGraphics;

// A secondary parameter binding of a control, with its own normalised value.
struct IAuxBinding {
  IAuxBinding(double v, int32_t index) : value(v), paramIndex(index) {}
  IAuxBinding(const IAuxBinding& other)
      : value(other.value.load(std::memory_order_relaxed)), paramIndex(other.paramIndex) {}
  std::atomic<double> value;
  int32_t paramIndex;
};

class IControl {
public:
  IControl(IPlugBase* plugin, IBox box, int32_t paramIndex, IBlend blend = {});
  IControl(const IControl&) = delete;
  IControl& operator=(const IControl&) = delete;

  // ---- Virtual operations, in their fixed order ----
  virtual ~IControl() = default;
  virtual void OnMouseDown(int32_t x, int32_t y, const IMouseMods& mods);  // right: prompt
  virtual void OnMouseUp(int32_t, int32_t, const IMouseMods&) {}
  virtual void OnMouseDrag(int32_t, int32_t, int32_t, int32_t, const IMouseMods&) {}
  virtual void OnMouseDoubleClick(int32_t x, int32_t y, const IMouseMods& mods);  // reset
  virtual void OnMouseWheel(int32_t, int32_t, const IMouseMods&, int32_t) {}
  virtual bool OnKeyDown(int32_t, int32_t, int32_t) { return false; }
  virtual void OnMouseOver(int32_t, int32_t, const IMouseMods&) {}
  virtual void OnMouseOut() {}
  virtual bool Draw(IGraphics* graphics) = 0;
  virtual void SetValueFromPlugin(double value);  // [any]
  virtual void SetValueFromUser(double value);
  virtual void SetTextFromEntry(const char*) {}
  virtual void Hide(bool hide);
  virtual void GreyOut(bool grey);
  virtual bool IsHit(int32_t x, int32_t y) { return hitBox.Contains(x, y); }
  // Clamps the value, marks the control for drawing and, with pushToPlugin, sends the value to
  // the plug-in (and from there to the host). [any] without pushToPlugin.
  virtual void MarkDirty(bool pushToPlugin);
  virtual void MarkClean();
  virtual bool IsDirty() { return (redrawFlags.load(std::memory_order_acquire) & kDirty) != 0; }
  virtual void ReservedHook19() {}
  virtual void SetAuxValueFromPlugin(int32_t position, double value);  // [any]

  // ---- Fields ----
  int32_t ParamIdx() const { return paramIndex; }
  const IBox& GetBox() const { return box; }
  const IBox& GetHitBox() const { return hitBox; }
  void SetHitBox(const IBox& b) { hitBox = b; }
  double GetValue() const { return value.load(std::memory_order_relaxed); }
  void SetValue(double v) { value.store(v, std::memory_order_relaxed); }
  double GetResetValue() const { return resetValue.load(std::memory_order_relaxed); }
  bool IsHidden() const { return hidden; }
  bool IsGreyed() const { return greyed; }
  bool RedrawPending() const {
    return (redrawFlags.load(std::memory_order_relaxed) & kRedrawPending) != 0;
  }
  bool DblClickAsClick() const { return dblClickAsClick; }
  void SetDblClickAsClick(bool on) { dblClickAsClick = on; }
  bool MouseOverWhenGreyed() const { return mouseOverWhenGreyed; }
  void SetMouseOverWhenGreyed(bool on) { mouseOverWhenGreyed = on; }
  void DisablePrompt(bool disable) { promptDisabled = disable; }
  // A control whose OnKeyDown uses keys says so, so that the window asks for the keyboard.
  bool TakesKeys() const { return takesKeys; }
  void SetTakesKeys(bool on) { takesKeys = on; }
  void SetClamp(double lo, double hi) { clampLo = lo, clampHi = hi; }
  const IBlend& GetBlend() const { return blend; }
  ITextStyle& TextStyle() { return textStyle; }
  int32_t EntryMaxChars() const { return entryMaxChars; }
  void SetEntryMaxChars(int32_t chars) { entryMaxChars = chars; }
  const std::string& Tooltip() const { return tooltip; }
  void SetTooltip(const char* text) { tooltip = text ? text : ""; }

  int32_t NAuxBindings() const { return int32_t(auxBindings.size()); }
  IAuxBinding* GetAuxBinding(int32_t position) {
    return position >= 0 && position < NAuxBindings() ? &auxBindings[size_t(position)] : nullptr;
  }
  // [main] before the control is attached.
  void AddAuxBinding(int32_t paramIdx) { auxBindings.emplace_back(0.0, paramIdx); }
  // Position of the first secondary binding to paramIdx, or -1.
  int32_t AuxBindingPosition(int32_t paramIdx) const;

protected:
  static constexpr uint8_t kDirty = 1;
  static constexpr uint8_t kRedrawPending = 2;
  // Sets the redraw flags given ([any]).
  void RaiseRedrawFlags(uint8_t flags) { redrawFlags.fetch_or(flags, std::memory_order_release); }

  // Opens the graphics object's popup or text entry for the bound parameter (right click).
  void PromptForValue();
  // The graphics object of the plug-in this control belongs to, or null.
  IGraphics* Graphics() const;

  int32_t entryMaxChars = 7;
  ITextStyle textStyle;
  IPlugBase* plugin = nullptr;
  IBox box;
  IBox hitBox;
  int32_t paramIndex = -1;
  std::vector<IAuxBinding> auxBindings;
  std::atomic<double> value{0.0};
  std::atomic<double> resetValue{-1.0};
  double clampLo = 0.0;
  double clampHi = 1.0;
  // kDirty: must be drawn on the next redraw; kRedrawPending: draw once more after that.
  std::atomic<uint8_t> redrawFlags{kDirty};
  bool hidden = false;
  bool greyed = false;
  bool promptDisabled = true;
  bool dblClickAsClick = false;
  bool mouseOverWhenGreyed = false;
  bool takesKeys = false;
  IBlend blend;
  std::string tooltip;
};

// Shows one frame of a multi-frame bitmap, chosen by the value.
class IBitmapControl : public IControl {
public:
  IBitmapControl(IPlugBase* plugin, int32_t x, int32_t y, int32_t paramIndex,
                 const IBitmapHandle& bitmap, int32_t blendMethod = BlendDefault);
  bool Draw(IGraphics* graphics) override;

  const IBitmapHandle& Bitmap() const { return bitmap; }
  // The 1-based frame the current value shows.
  int32_t FrameNumber() const;

  // The box a bitmap of one frame occupies with its top-left corner at (x, y).
  static IBox FrameBox(int32_t x, int32_t y, const IBitmapHandle& bitmap);

protected:
  IBitmapHandle bitmap;
};

// A bitmap control that steps to its next frame on every click, wrapping to the first.
class ISwitchControl : public IBitmapControl {
public:
  using IBitmapControl::IBitmapControl;
  void OnMouseDown(int32_t x, int32_t y, const IMouseMods& mods) override;
  void OnMouseDoubleClick(int32_t x, int32_t y, const IMouseMods& mods) override {
    OnMouseDown(x, y, mods);
  }
};

// A knob: dragging along its direction or turning the wheel changes the value.
class IKnobControl : public IControl {
public:
  IKnobControl(IPlugBase* plugin, IBox box, int32_t paramIndex, int32_t direction, double gearing);
  void OnMouseDrag(int32_t x, int32_t y, int32_t dX, int32_t dY, const IMouseMods& mods) override;
  void OnMouseWheel(int32_t x, int32_t y, const IMouseMods& mods, int32_t notches) override;

protected:
  int32_t direction = 0;  // 0 vertical, any other value horizontal
  double gearing = 4.0;   // control heights (or widths) a full sweep takes
};

// A knob drawn from a film strip of frames.
class IKnobMultiControl : public IKnobControl {
public:
  IKnobMultiControl(IPlugBase* plugin, int32_t x, int32_t y, int32_t paramIndex,
                    const IBitmapHandle& bitmap, int32_t direction = 0, double gearing = 4.0);
  bool Draw(IGraphics* graphics) override;

  const IBitmapHandle& Bitmap() const { return bitmap; }
  int32_t FrameNumber() const;

protected:
  IBitmapHandle bitmap;
};

// An invisible rectangle that opens a web address (or, failing that, a backup address).
class IURLControl : public IControl {
public:
  IURLControl(IPlugBase* plugin, IBox box, const char* url, const char* backupUrl = "",
              const char* title = "");
  void OnMouseDown(int32_t x, int32_t y, const IMouseMods& mods) override;
  bool Draw(IGraphics*) override { return true; }

  const char* Url() const { return url; }

private:
  char url[256] = {};
  char backupUrl[256] = {};
  char title[1024] = {};
};
