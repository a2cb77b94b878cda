#pragma once

// The editor's model and renderer: the ordered list of controls, the drawing surface, the rules by
// which parameter values travel between the plug-in and the controls, the draw cycle and the
// dispatch of mouse and key events. A platform class adds the window (or, headless, a screen
// bitmap) by implementing the abstract operations; nothing here names a platform API.
//
// Threads: everything runs on the user-interface thread except SetParameterFromPlugin, which the
// processing call also uses (under the plug-in lock) and which only stores values and flags in the
// controls. Changes to the control list (attaching, Resize, destruction) hold the plug-in lock, so
// the processing thread never walks a list that is being changed.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "IControl.h"
#include "IGraphicsRecords.h"
#include "IPlugBase.h"
#include "IValueTexts.h"
#include "LiceBitmap.h"

class IGraphics {
public:
  IGraphics(IPlugBase* plugin, int32_t width, int32_t height, int32_t framesPerSecond);
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  // ---- Virtual operations, in their fixed order ----
  // Copies box of the drawing surface to the screen.
  virtual bool PresentRect(const IBox& box) = 0;
  // Sets box's extent to that of text drawn in style, aligned as the style says. False without a
  // font.
  virtual bool MeasureText(ITextStyle* style, const char* text, IBox* box);
  virtual void CancelTextEntry() = 0;
  // Deletes every control and the surface, prepares a new surface of the new size and tells the
  // plug-in; the caller attaches its controls again.
  virtual void Resize(int32_t newWidth, int32_t newHeight);
  virtual bool IsWindowOpen() { return GetWindowHandle() != nullptr; }
  virtual const char* DrawingApiName() { return ""; }
  virtual int32_t ShowMessageBox(const char* text, const char* caption, int32_t type) = 0;
  // Returns the menu holding the choice, or null when dismissed.
  virtual IPopupMenu* ShowPopupMenu(IPopupMenu* menu, const IBox& box) = 0;
  virtual void ShowTextEntry(IControl* control, const ITextStyle* style, const IBox& box,
                             const char* text, IParamDef* param) = 0;
  virtual void GetHostDirectory(std::string* out) = 0;
  virtual void GetModuleDirectory(std::string* out) = 0;
  virtual void GetDesktopPath(std::string* out) = 0;
  virtual void GetAppDataPath(std::string* out, bool common) = 0;
  virtual void GetSafeAppDataPath(std::string* out) = 0;
  virtual bool PromptForFile(std::string* fileName, int32_t action, std::string* directory,
                             const char* extensions) = 0;
  virtual bool PromptForColor(IArgb* color, const char* prompt) = 0;
  virtual bool OpenUrl(const char* url, const char* title, const char* confirmText,
                       const char* errorText) = 0;
  virtual void* ReservedQuery17() { return nullptr; }
  virtual void* OpenWindow(void* parentWindow) = 0;
  virtual void ReservedHook19() {}
  virtual void ReservedHook20() {}
  virtual void CloseWindow() = 0;
  virtual void* GetWindowHandle() = 0;
  virtual bool GetClipboardText(std::string* out) = 0;
  virtual ~IGraphics();
  virtual void HideMouseCursor() {}
  virtual void RestoreMouseCursor() {}
  virtual void ReservedHook27() {}
  // A new bitmap decoded from the module's PNG resource, or null.
  virtual LICE_IBitmap* LoadPlatformBitmap(int32_t resourceId, const char* name) = 0;
  // The host's event loop, for a window layer that runs none of its own (X11 inside a VST3 host:
  // a Steinberg::Linux::IRunLoop*). Set before OpenWindow, cleared after CloseWindow; null when
  // the host offers none. The caller keeps it alive while it is set.
  virtual void SetHostRunLoop(void* runLoop) { (void)runLoop; }
  // The device size changed (a new draw scale): the window follows it. Nothing without a window.
  virtual void DeviceSizeChanged() {}
  // The folder where the user's editor settings live (see IEditorSettings.h), "" for none.
  virtual std::string SettingsFolder() { return settingsFolder; }
  // The screen's density as a scale (1 at 96 dpi) where the window opens, or 0 when unknown.
  virtual double ScreenScale(void* parentWindow) {
    (void)parentWindow;
    return 0.0;
  }
  // Puts text (UTF-8) on the system clipboard; false when it cannot.
  virtual bool SetClipboardText(const char* text) {
    (void)text;
    return false;
  }

  // ---- Building ----
  // Takes ownership of control and appends it; returns its index.
  int32_t AttachControl(IControl* control);
  // Loads the image and inserts an opaque bitmap control of its size, without parameter, at
  // index 0.
  void AttachBackground(int32_t resourceId, const char* name);
  // The image of resourceId from the process-wide cache, decoded on first use. An image that
  // cannot be loaded gives a handle without bitmap (0 x 0), which draws nothing.
  IBitmapHandle LoadBitmap(int32_t resourceId, const char* name, int32_t frames);
  // Decodes the images of this list that are not cached yet side by side, on up to one thread per
  // core (the calling thread included), and caches them, so that the LoadBitmap calls that follow
  // find them. Without threads it decodes them one after the other.
  struct ImageRequest {
    int32_t resourceId;
    const char* name;
  };
  void PreloadBitmaps(const ImageRequest* images, int32_t count);
  // (Re)creates the drawing surface at the device size. A window layer makes it when its window
  // opens and releases it when the window closes; drawing makes it when there is none.
  void PrepareDrawSurface();
  void ReleaseDrawSurface();

  // ---- Scale (user-interface thread) ----
  // Boxes, mouse positions and the editor's size are in panel units; the drawing surface and the
  // window are in device pixels, drawScale of them to a panel unit. At 1 every image is drawn as
  // it is. Images at other scales come from the set drawn at twice the size (resource id +
  // kImage2xIdOffset), resampled where the scale is not 2.
  static constexpr int32_t kImage2xIdOffset = 100;
  double DrawScale() const { return drawScale; }
  // False, changing nothing, for a scale that is not finite or lies outside 0.25 to 8. Otherwise
  // ends an open gesture, remakes a surface that exists at the new device size and marks every
  // control for drawing.
  bool SetDrawScale(double scale);
  int32_t DeviceWidth() const { return ToDeviceEdge(width); }
  int32_t DeviceHeight() const { return ToDeviceEdge(height); }
  // The device pixels whose panel position lies inside box: hit tests and drawing agree exactly.
  IBox ToDevice(const IBox& box) const;
  // The panel box covering a device box (rounded outward).
  IBox ToPanel(const IBox& deviceBox) const;
  // The panel coordinate of a device pixel.
  int32_t ToPanelCoordinate(int32_t device) const;
  // The image a handle draws at the current scale (made and cached on first use), or null.
  LICE_IBitmap* ImageAtScale(const IBitmapHandle& bitmap);

  // ---- Editor size (user-interface thread) ----
  // The draw scale is the device's scale (the host's content scale, else the screen's density)
  // times the size the user chose (the menu offers kEditorSizes).
  double DeviceScale() const { return deviceScale; }
  // Sets the device's scale (0.5 to 4, finite; false otherwise) and draws at it times the user's
  // size. fromHost: the host's own factor, which a screen density found later does not replace.
  bool SetDeviceScale(double scale, bool fromHost);
  bool HostGaveDeviceScale() const { return hostDeviceScale; }
  // The user's size in percent (any size a host's resize made, not only those offered).
  int32_t UserSize() const;
  bool SetUserSize(int32_t percent);
  // A right click on the panel outside every control opens the size menu.
  void EnableSizeMenu(bool on) { sizeMenu = on; }
  // Where a platform without settings of its own (the headless one) keeps them; "" for nowhere.
  void SetSettingsFolder(const std::string& folder) { settingsFolder = folder; }
  // The size menu's choice: sets the size, remembers it for the user's next editors and asks the
  // host for the new frame.
  void ChooseUserSize(int32_t percent);

  // ---- Drawing (user-interface thread) ----
  // Draws what updateBox touches (or, with drawByUpdateRect off, the dirty controls), marks the
  // controls clean and presents updateBox.
  void Draw(const IBox& updateBox);
  bool DrawBitmap(const IBitmapHandle& bitmap, const IBox& dest, int32_t srcX, int32_t srcY,
                  const IBlend* blend);
  bool DrawText(ITextStyle* style, const char* text, const IBox& box);
  // The union of the dirty controls' boxes; false when none is dirty.
  bool CollectDirtyRect(IBox* out);

  // ---- Values ----
  // [any] Pushes a value into every control bound to paramIdx (a plain value unless
  // isNormalised), except the control whose gesture is open: it keeps the value the user is
  // making and follows the host again once the gesture ends. Allocates nothing and takes no lock.
  void SetParameterFromPlugin(int32_t paramIdx, double value, bool isNormalised);
  // Opens a popup (enumerations and labelled switches) or a text entry for param.
  void PromptUserInput(IControl* control, IParamDef* param, const IBox& box);
  // What a committed text entry does: the text as the parameter's value (a display text for
  // enumerations and switches, a number otherwise) or, without parameter, handed to the control
  // (a typed value: read by the plug-in's value texts, in one edit gesture).
  void CommitTextEntry(IControl* control, IParamDef* param, const char* text);

  // ---- Readout and typed values (user-interface thread) ----
  // A platform's text entry box works with the core like this: ShowTextEntry gets the box in
  // panel units and a style whose size is in panel units too (the platform scales both by
  // DrawScale). On Return the platform asks TextEntryAcceptable; a refused text leaves the box
  // open, its text shown in the style's entryWarningColor until the user edits it. An accepted
  // one closes the box, then goes to CommitTextEntry. Every way the box goes away (commit,
  // cancel, window closed or resized) calls TextEntryClosed.
  //
  // The readout: while the pointer rests on a control with a readout (kReadoutRestSeconds), while
  // it is dragged or wheeled, while its value is being typed, and for kReadoutLingerSeconds
  // after, a plate beside the control shows its name and value. The platform's timer calls
  // TickReadout before it collects the dirty area.
  static constexpr double kReadoutRestSeconds = 0.4;
  static constexpr double kReadoutLingerSeconds = 1.0;
  // Takes ownership; null switches readout and typed entry off.
  void SetValueTexts(std::unique_ptr<IValueTexts> texts);
  const IValueTexts* ValueTexts() const { return valueTexts.get(); }
  // Seconds on a steady clock; tests give their own.
  void SetClock(std::function<double()> clock);
  double Now() const;
  void TickReadout();
  // The control whose readout shows (-1: none), its plate in panel units and its texts.
  int32_t ReadoutControl() const { return readout.index; }
  IBox ReadoutBox() const { return readout.index >= 0 ? readout.box : IBox{}; }
  const IReadoutText& ReadoutText() const { return readout.text; }
  // True when paramIdx has a control with a readout, so a typed value can be entered.
  bool CanEnterValue(int32_t paramIdx) const;
  // Opens the typed entry over the readout of the control at index (or the first control bound
  // to paramIdx), filled with its value. False when it has no readout or a box is open.
  bool OpenValueEntry(int32_t controlIndex);
  bool OpenValueEntryForParam(int32_t paramIdx);
  bool ValueEntryOpen() const { return valueEntryIndex >= 0; }
  bool TextEntryAcceptable(IControl* control, IParamDef* param, const char* text) const;
  void TextEntryClosed();

  // ---- Input dispatch (user-interface thread) ----
  void OnMouseDown(int32_t x, int32_t y, const IMouseMods& mods);
  void OnMouseUp(int32_t x, int32_t y, const IMouseMods& mods);
  void OnMouseDrag(int32_t x, int32_t y, const IMouseMods& mods);
  void OnMouseDoubleClick(int32_t x, int32_t y, const IMouseMods& mods);
  void OnMouseWheel(int32_t x, int32_t y, const IMouseMods& mods, int32_t notches);
  bool OnMouseOver(int32_t x, int32_t y, const IMouseMods& mods);
  void OnMouseOut();
  bool OnKeyDown(int32_t x, int32_t y, int32_t key);
  // Ends a gesture the mouse left open (the window lost the mouse, or closed, before the button
  // came up) and releases the captured control: motion that follows edits nothing.
  void EndOpenGesture();

  // ---- Edits framed by the core (for IControl::MarkDirty) ----
  // True while control runs an edit the core frames itself; the value goes to HoldEdit then.
  bool HoldsEditOf(const IControl* control) const { return control && control == heldControl; }
  void HoldEdit(double normalized) {
    heldValue = normalized;
    heldEdit = true;
  }

  // ---- Fields ----
  IPlugBase* GetPlugin() const { return plugin; }
  int32_t Width() const { return width; }
  int32_t Height() const { return height; }
  int32_t FramesPerSecond() const { return framesPerSecond; }
  int32_t NControls() const { return int32_t(controls.size()); }
  IControl* GetControl(int32_t index) const {
    return index >= 0 && index < NControls() ? controls[size_t(index)] : nullptr;
  }
  LICE_SysBitmap* DrawSurface() const { return drawSurface.get(); }
  const IBox& DrawRect() const { return drawRect; }
  int32_t CaptureIndex() const { return captureIndex; }
  int32_t OverIndex() const { return overIndex; }
  int32_t GestureParam() const { return gestureParam.load(std::memory_order_relaxed); }
  void HandleMouseOver(bool on) { handleMouseOver = on; }
  void SetDrawByUpdateRect(bool on) { drawByUpdateRect = on; }
  void ShowTooltips(bool on) { showTooltips = on; }
  bool TooltipsShown() const { return showTooltips; }
  // Takes ownership of control (replacing and deleting a previous one).
  void SetKeyCatcher(IControl* control);
  // True when a key catcher or a control takes keys: only then does a window layer ask for them.
  bool TakesKeys() const;

protected:
  int32_t ToDeviceEdge(int32_t panel) const;
  bool DrawBitmapScaled(const IBitmapHandle& bitmap, const IBox& dest, int32_t srcX, int32_t srcY,
                        float weight, int32_t mode);

  // The size menu at (x, y), ticked at the current size. With entryFor, a control whose value
  // can be typed, the menu starts with "Enter value...".
  void ShowSizeMenu(int32_t x, int32_t y, int32_t entryFor = -1);
  // The readout after a touch of the control at index (a press, drag or wheel step).
  void TouchReadout(int32_t index);
  // The readout's plate for the control at index, in panel units: beside the control, never
  // over it, inside the panel.
  IBox PlaceReadout(int32_t index, const IReadoutText& text);
  void DrawReadout();
  // A typed value for control, read by the value texts and sent in one gesture; false if refused.
  bool CommitTypedValue(IControl* control, const char* text);
  int32_t FindControlIndex(const IControl* control) const;
  // What the readout looks like; its size is in panel units.
  ITextStyle ReadoutStyle() const;

  // The topmost visible, enabled control under (x, y), or -1.
  int32_t FindTopmostHit(int32_t x, int32_t y, bool includeGreyedOver = false) const;
  // Runs edit (which may send the control's value to the plug-in) inside an edit gesture: the one
  // the mouse holds open for the control's parameter, or one of its own around the value the edit
  // sends. An edit of its own that leaves the control's value as it was tells the host nothing.
  template <class Edit>
  void InGesture(IControl* control, Edit edit) {
    const int32_t p = control->ParamIdx();
    if (p < 0 || !plugin || gestureParam == p) {
      edit();
      return;
    }
    const double before = control->GetValue();
    heldControl = control;
    heldEdit = false;
    edit();
    heldControl = nullptr;
    if (!heldEdit || !(heldValue != before)) return;
    plugin->BeginParamGesture(p);
    plugin->SetParamFromEditor(p, heldValue);
    plugin->EndParamGesture(p);
  }
  void SetValueFromUserInGesture(IControl* control, double normalized) {
    InGesture(control, [&] { control->SetValueFromUser(normalized); });
  }

  std::vector<IControl*> controls;
  IPlugBase* plugin = nullptr;
  double drawScale = 1.0;
  int32_t scaleKey = 1000;  // drawScale in thousandths, the scaled images' cache key
  // The images LoadBitmap handed out, one per resource, with their names: made at a new scale
  // all at once.
  struct LoadedImage {
    IBitmapHandle handle;
    std::string name;
  };
  std::vector<LoadedImage> loadedImages;
  double deviceScale = 1.0;
  bool hostDeviceScale = false;
  bool sizeMenu = false;
  std::string settingsFolder;
  IBox drawRect;
  bool cursorHidden = false;
  int32_t hiddenCursorX = -1;
  int32_t hiddenCursorY = -1;
  std::unique_ptr<LICE_SysBitmap> drawSurface;
  int32_t width = 0;
  int32_t height = 0;
  int32_t framesPerSecond = 0;
  int32_t captureIndex = -1;
  int32_t overIndex = -1;
  int32_t lastX = 0;
  int32_t lastY = 0;
  bool handleMouseOver = false;
  bool drawByUpdateRect = true;
  bool showTooltips = false;
  std::unique_ptr<IControl> keyCatcher;
  // Parameter whose host edit gesture the mouse has open, -1 for none. Written on the
  // user-interface thread; the processing thread reads it so that the host's values (its echo of
  // the edits, or automation) do not move the control the user is dragging.
  std::atomic<int32_t> gestureParam{-1};
  // The control whose edit InGesture frames, and the value that edit sent.
  IControl* heldControl = nullptr;
  double heldValue = 0.0;
  bool heldEdit = false;

  std::unique_ptr<IValueTexts> valueTexts;
  std::function<double()> clock;
  struct Readout {
    int32_t index = -1;  // the control shown
    IBox box;            // its plate (panel units)
    IReadoutText text;
    double until = 0.0;  // hidden from this time on unless touched again
  } readout;
  int32_t hoverIndex = -1;  // the control under the resting pointer
  double hoverSince = 0.0;  // when the pointer came onto it
  int32_t touchIndex = -1;  // the control last pressed, dragged, wheeled or typed into
  double touchUntil = 0.0;
  IBox readoutDirty;  // panel area the readout changed, not yet drawn
  int32_t valueEntryIndex = -1;
  // The plate as last drawn (device pixels), remade when its text or the scale changes.
  std::unique_ptr<LICE_SysBitmap> readoutPlate;
  IReadoutText plateText;
  int32_t plateScaleKey = 0;
};

// Holds a reference to the plug-in for the span of one window-system callback: whatever the
// callback reaches (a host edit, say) may release the host's last reference, and the plug-in and
// its graphics object must outlive the callback. Its destructor may delete both: it runs last.
class IEditorCallbackScope {
public:
  explicit IEditorCallbackScope(IPlugBase* plugin) : plugin(plugin) {
    if (plugin) plugin->AddEditorCallbackRef();
  }
  ~IEditorCallbackScope() {
    if (plugin) plugin->ReleaseEditorCallbackRef();
  }
  IEditorCallbackScope(const IEditorCallbackScope&) = delete;
  IEditorCallbackScope& operator=(const IEditorCallbackScope&) = delete;

private:
  IPlugBase* plugin;
};

// Whether a text entry box for a parameter of this kind lets the user type character ch (a
// Unicode code point): signs and digits for whole numbers and lists, a point as well for decimals,
// anything for other kinds. Every platform's box filters with it.
bool TextEntryAcceptsChar(IParamKind kind, uint32_t ch);

// The platform's graphics object (the native window, or the headless one in tests and tools).
// Defined once per platform library; the caller owns the result.
IGraphics* NewPlatformGraphics(IPlugBase* plugin, int32_t width, int32_t height,
                               int32_t framesPerSecond);

// The process-wide caches, for tests and benchmarks: entries held now.
int32_t BitmapCacheSize();
int32_t FontCacheSize();
// The cached font for style (created on first use), or null when it cannot be created.
LICE_CachedFont* CachedFontFor(ITextStyle* style);
