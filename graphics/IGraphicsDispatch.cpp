// Which control receives a mouse or key event, how a mouse gesture captures a control, and how a
// gesture on a bound parameter is framed for the host. User-interface thread only; no lock is
// taken here (the plug-in calls take the plug-in lock themselves).
//
// Framing rule: every value a control sends to the host lies inside an edit gesture, and an end is
// only sent for a gesture that was begun. The mouse opens a gesture on a press and closes it on
// the release; a double click, a wheel step or a key outside a drag is framed on its own, and only
// when it changes the value.
#include "IGraphics.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <string>

#include "IEditorSettings.h"
#include "IParamDef.h"

namespace {
constexpr int32_t kVst3Api = 1;
}

int32_t IGraphics::FindTopmostHit(int32_t x, int32_t y, bool includeGreyedOver) const {
  // Controls may reach past the panel (the product page area does); only the panel is hit.
  if (x < 0 || y < 0 || x >= width || y >= height) return -1;
  for (int32_t i = NControls() - 1; i >= 0; --i) {
    IControl* control = controls[size_t(i)];
    if (control->IsHidden()) continue;
    if (control->IsGreyed() && !(includeGreyedOver && control->MouseOverWhenGreyed())) continue;
    if (control->IsHit(x, y)) return i;
  }
  return -1;
}

void IGraphics::EndOpenGesture() {
  captureIndex = -1;
  lastX = lastY = -1;
  const int32_t p = gestureParam.exchange(-1, std::memory_order_relaxed);
  if (p < 0 || !plugin) return;
  plugin->EndParamGesture(p);
  // The control follows the host again, from where the host left the parameter (automation may
  // have moved it while the user held the control).
  IPlugBase::LockGuard guard(plugin->GetLock());
  if (const IParamDef* param = plugin->GetParam(p))
    SetParameterFromPlugin(p, param->GetNormalized(), true);
}

void IGraphics::OnMouseDown(int32_t x, int32_t y, const IMouseMods& mods) {
  EndOpenGesture();  // a press whose release never arrived
  const int32_t hit = FindTopmostHit(x, y);
  // The panel itself (the background, or no control) answers a right click with the size menu.
  const bool onPanel = x >= 0 && y >= 0 && x < width && y < height;
  if (mods.right && sizeMenu && onPanel && (hit < 0 || (hit == 0 && controls[0]->ParamIdx() < 0))) {
    ShowSizeMenu(x, y);
    return;
  }
  if (hit < 0) return;
  // Alt+click types a value (where the value texts know the control).
  if (mods.alt && !mods.right && OpenValueEntry(hit)) return;
  captureIndex = hit;
  lastX = x;
  lastY = y;
  IControl* control = controls[size_t(hit)];
  const int32_t p = control->ParamIdx();
  if (plugin && plugin->GetApiCode() == kVst3Api && mods.right) {
    if (p >= 0) {
      // The host's own menu for the parameter; the control is not told and nothing is captured.
      captureIndex = -1;
      lastX = lastY = -1;
      // The host's menu carries "Enter value..."; a host without one gets the editor's own menu.
      if (!plugin->ShowHostContextMenu(p, ToDeviceEdge(x), ToDeviceEdge(y)) && CanEnterValue(p))
        ShowSizeMenu(x, y, hit);
      return;
    }
  } else if (p >= 0 && plugin) {
    plugin->BeginParamGesture(p);
    gestureParam.store(p, std::memory_order_relaxed);
  }
  control->OnMouseDown(x, y, mods);
  TouchReadout(hit);
}

void IGraphics::OnMouseUp(int32_t x, int32_t y, const IMouseMods& mods) {
  const int32_t target = captureIndex >= 0 ? captureIndex : FindTopmostHit(x, y);
  lastX = lastY = -1;
  captureIndex = -1;
  if (IControl* control = GetControl(target)) control->OnMouseUp(x, y, mods);
  // Only the gesture this mouse opened ends here (none after a right click or a double click).
  EndOpenGesture();
}

void IGraphics::OnMouseDrag(int32_t x, int32_t y, const IMouseMods& mods) {
  IControl* control = GetControl(captureIndex);
  if (!control || (x == lastX && y == lastY)) return;
  // A bound control edits only inside the gesture its press opened.
  const int32_t p = control->ParamIdx();
  if (p >= 0 && plugin && p != gestureParam.load(std::memory_order_relaxed)) return;
  // Travel in 64 bits, saturated: positions near the 32-bit limits must not overflow.
  auto travel = [](int32_t to, int32_t from) {
    return int32_t(std::clamp<int64_t>(int64_t(to) - from, INT32_MIN, INT32_MAX));
  };
  const int32_t dX = travel(x, lastX);
  const int32_t dY = travel(y, lastY);
  lastX = x;
  lastY = y;
  control->OnMouseDrag(x, y, dX, dY, mods);
  TouchReadout(captureIndex);
}

void IGraphics::OnMouseDoubleClick(int32_t x, int32_t y, const IMouseMods& mods) {
  EndOpenGesture();
  const int32_t hit = FindTopmostHit(x, y);
  if (hit < 0) return;
  IControl* control = controls[size_t(hit)];
  if (control->DblClickAsClick()) {
    // A second press: the gesture it opens ends with the release that follows.
    OnMouseDown(x, y, mods);
    return;
  }
  InGesture(control, [&] { control->OnMouseDoubleClick(x, y, mods); });
}

void IGraphics::OnMouseWheel(int32_t x, int32_t y, const IMouseMods& mods, int32_t notches) {
  if (notches == 0) return;
  const int32_t target = captureIndex >= 0 ? captureIndex : FindTopmostHit(x, y);
  IControl* control = GetControl(target);
  if (!control) return;
  InGesture(control, [&] { control->OnMouseWheel(x, y, mods, notches); });
  TouchReadout(target);
}

bool IGraphics::OnMouseOver(int32_t x, int32_t y, const IMouseMods& mods) {
  if (!handleMouseOver) return false;
  const int32_t target = captureIndex >= 0 ? captureIndex : FindTopmostHit(x, y, true);
  // The readout's rest starts when the pointer comes onto a control.
  if (target != hoverIndex) {
    hoverIndex = target;
    hoverSince = Now();
  }
  IControl* control = GetControl(target);
  if (!control) return true;
  lastX = x;
  lastY = y;
  control->OnMouseOver(x, y, mods);
  if (overIndex >= 0 && overIndex != target) {
    if (IControl* previous = GetControl(overIndex)) previous->OnMouseOut();
  }
  overIndex = target;
  return true;
}

void IGraphics::OnMouseOut() {
  for (IControl* control : controls) control->OnMouseOut();
  overIndex = -1;
  hoverIndex = -1;
}

void IGraphics::ShowSizeMenu(int32_t x, int32_t y, int32_t entryFor) {
  IPopupMenu menu;
  const int32_t firstSize = entryFor >= 0 ? 2 : 0;
  if (entryFor >= 0) {
    IPopupItem enter;
    enter.text = "Enter value...";
    menu.items.push_back(std::move(enter));
    IPopupItem separator;
    separator.flags = IPopupItem::Separator;
    menu.items.push_back(std::move(separator));
  }
  const int32_t current = UserSize();
  for (int32_t percent : kEditorSizes) {
    IPopupItem item;
    item.text = std::to_string(percent) + " %";
    if (percent == current) item.flags |= IPopupItem::Ticked;
    if (sizeMenu) menu.items.push_back(std::move(item));
  }
  IPopupMenu* answer = ShowPopupMenu(&menu, IBox{x, y, x + 1, y + 1});
  if (answer != &menu || answer->chosen < 0) return;
  if (entryFor >= 0 && answer->chosen == 0) {
    OpenValueEntry(entryFor);
    return;
  }
  const int32_t size = answer->chosen - firstSize;
  if (size >= 0 && size < int32_t(std::size(kEditorSizes))) ChooseUserSize(kEditorSizes[size]);
}

bool IGraphics::OnKeyDown(int32_t x, int32_t y, int32_t key) {
  const int32_t target = captureIndex >= 0 ? captureIndex : FindTopmostHit(x, y);
  IControl* control = target > 0 ? controls[size_t(target)] : keyCatcher.get();
  if (!control) return false;
  // A key that changes a value is an edit like any other: framed for the host.
  bool used = false;
  InGesture(control, [&] { used = control->OnKeyDown(x, y, key); });
  return used;
}
