// The readout (a plate naming a touched control and its value in the plug-in's own terms) and the
// typed entry of a value over it. Both read the plug-in's value texts; nothing here names a
// platform API. User-interface thread only.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "IGraphics.h"
#include "IGraphicsCaches.h"
#include "IParamDef.h"
#include "LiceBlit.h"
#include "LiceFont.h"

namespace {

// The plate, in panel units: padding around the text, the gap between name and value, the
// distance from the control, and the corner radius.
constexpr int32_t kPadX = 6;
constexpr int32_t kGap = 8;
constexpr int32_t kPlateHeight = 16;
constexpr int32_t kDistance = 2;
constexpr double kCornerRadius = 3.5;

constexpr IArgb kPlateColour{255, 27, 29, 32};
constexpr IArgb kRimColour{255, 92, 96, 102};
constexpr IArgb kNameColour{255, 160, 165, 170};
constexpr IArgb kValueColour{255, 244, 240, 230};
constexpr IArgb kWarningColour{255, 255, 128, 96};
constexpr int32_t kPlateOpacity = 240;

double SteadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool SameText(const IReadoutText& a, const IReadoutText& b) {
  return std::strcmp(a.name, b.name) == 0 && std::strcmp(a.value, b.value) == 0;
}

// How much of the pixel (x, y) lies inside a rounded rectangle of w x h with corner radius r,
// to a sixteenth: exact along the straight edges, sampled at the corners.
int32_t RoundedCoverage(int32_t x, int32_t y, int32_t w, int32_t h, double r) {
  const double cx = x < r ? r : (x + 1 > w - r ? w - r : -1);
  const double cy = y < r ? r : (y + 1 > h - r ? h - r : -1);
  if (cx < 0 || cy < 0) return 16;
  int32_t inside = 0;
  for (int32_t sy = 0; sy < 4; ++sy)
    for (int32_t sx = 0; sx < 4; ++sx) {
      const double px = x + (sx + 0.5) / 4 - cx, py = y + (sy + 0.5) / 4 - cy;
      if (px * px + py * py <= r * r) ++inside;
    }
  return inside;
}

}  // namespace

void IGraphics::SetValueTexts(std::unique_ptr<IValueTexts> texts) {
  valueTexts = std::move(texts);
  if (!valueTexts && readout.index >= 0) {
    readoutDirty = IBox::Union(readoutDirty, readout.box);
    readout.index = -1;
  }
}

void IGraphics::SetClock(std::function<double()> newClock) {
  clock = std::move(newClock);
}

double IGraphics::Now() const {
  return clock ? clock() : SteadySeconds();
}

ITextStyle IGraphics::ReadoutStyle() const {
  ITextStyle style;
  std::strncpy(style.face, "DejaVu Sans Condensed", sizeof style.face - 1);
  style.size = 11;
  style.style = 1;
  style.align = 0;
  style.quality = 2;
  style.color = kValueColour;
  style.entryBackground = kPlateColour;
  style.entryColor = kValueColour;
  style.entryWarningColor = kWarningColour;
  return style;
}

namespace {

// A control's readout, or false when it has none.
bool DescribeControl(const IValueTexts* texts, IControl* control, IReadoutText* out) {
  if (!texts || !control || control->ParamIdx() < 0 || control->IsHidden()) return false;
  *out = IReadoutText{};
  if (!texts->Describe(control->ParamIdx(), control->GetValue(), out)) return false;
  out->name[sizeof out->name - 1] = '\0';
  out->value[sizeof out->value - 1] = '\0';
  return true;
}

}  // namespace

IBox IGraphics::PlaceReadout(int32_t index, const IReadoutText& text) {
  const IControl* control = GetControl(index);
  if (!control) return {};
  // Measured at the device size the text is drawn at, so the plate fits it at every scale.
  ITextStyle style = ReadoutStyle();
  style.size = std::max(1, int32_t(std::lround(style.size * drawScale)));
  double textWidth = 0;
  if (LICE_CachedFont* font = CachedFontFor(&style)) {
    for (const char* part : {text.name, text.value}) {
      LICE_RECT r{0, 0, 0, 0};
      font->RenderText(nullptr, part, -1, &r, LICE_DT_CALCRECT | LICE_DT_SINGLELINE);
      textWidth += (r.right - r.left) / drawScale;
    }
  }
  const int32_t w = std::min(width, 2 * kPadX + kGap + int32_t(std::ceil(textWidth)));
  const int32_t h = std::min(height, kPlateHeight);
  const IBox& c = control->GetBox();
  const int32_t centreX = (c.L + c.R) / 2, centreY = (c.T + c.B) / 2;
  auto fit = [&](int32_t left, int32_t top) {
    left = std::clamp(left, 0, width - w);
    top = std::clamp(top, 0, height - h);
    return IBox{left, top, left + w, top + h};
  };
  // Above the control, else below, right or left of it: the first place that leaves it free.
  const IBox candidates[] = {
      fit(centreX - w / 2, c.T - kDistance - h), fit(centreX - w / 2, c.B + kDistance),
      fit(c.R + kDistance, centreY - h / 2), fit(c.L - kDistance - w, centreY - h / 2)};
  const IBox shown = IBox::Clip(c, IBox{0, 0, width, height});
  for (const IBox& box : candidates) {
    const bool covers = box.L < shown.R && shown.L < box.R && box.T < shown.B && shown.T < box.B;
    if (!covers) return box;
  }
  return candidates[0];
}

void IGraphics::TickReadout() {
  if (!valueTexts) return;
  const double now = Now();
  auto hasReadout = [&](int32_t index) {
    IReadoutText unused;
    return DescribeControl(valueTexts.get(), GetControl(index), &unused);
  };
  int32_t want = -1;
  if (valueEntryIndex >= 0) {
    want = valueEntryIndex;
  } else if (captureIndex >= 0 && hasReadout(captureIndex)) {
    want = captureIndex;
  } else if (hoverIndex >= 0 && now - hoverSince >= kReadoutRestSeconds && hasReadout(hoverIndex)) {
    want = hoverIndex;
  }
  if (want >= 0) {
    readout.until = now + kReadoutLingerSeconds;
  } else if (touchIndex >= 0 && now < touchUntil) {
    // A touch (a wheel step, a typed value) shows until its own time is up.
    want = touchIndex;
    readout.until = touchUntil;
  } else if (readout.index >= 0 && now < readout.until) {
    want = readout.index;
  }

  IReadoutText text;
  if (want >= 0 && !DescribeControl(valueTexts.get(), GetControl(want), &text)) want = -1;
  if (want < 0) {
    if (readout.index >= 0) readoutDirty = IBox::Union(readoutDirty, readout.box);
    readout.index = -1;
    return;
  }
  if (want == readout.index && SameText(text, readout.text)) return;
  // Centred on its control, the plate grows and shrinks about its middle as the text changes.
  const IBox box = PlaceReadout(want, text);
  if (readout.index >= 0) readoutDirty = IBox::Union(readoutDirty, readout.box);
  readoutDirty = IBox::Union(readoutDirty, box);
  readout.index = want;
  readout.box = box;
  readout.text = text;
}

void IGraphics::TouchReadout(int32_t index) {
  IReadoutText unused;
  if (!DescribeControl(valueTexts.get(), GetControl(index), &unused)) return;
  // The touched control shows at once and stays for the linger time after the touch.
  touchIndex = index;
  touchUntil = Now() + kReadoutLingerSeconds;
  TickReadout();
}

void IGraphics::DrawReadout() {
  if (readout.index < 0 || !drawSurface) return;
  const IBox device = ToDevice(readout.box);
  const int32_t w = device.W(), h = device.H();
  if (w <= 0 || h <= 0) return;
  const bool stale = !readoutPlate || readoutPlate->Width() != w || readoutPlate->Height() != h ||
                     plateScaleKey != scaleKey || !SameText(plateText, readout.text);
  if (stale) {
    if (!readoutPlate) readoutPlate = std::make_unique<LICE_SysBitmap>();
    readoutPlate->Resize(w, h);  // false when the size stays: the plate is drawn anew all the same
    if (readoutPlate->Width() != w || readoutPlate->Height() != h || !readoutPlate->PixelData())
      return;
    plateText = readout.text;
    plateScaleKey = scaleKey;
    LICE_IBitmap* plate = readoutPlate.get();
    LICE_FillArea(plate, 0, 0, w, h, kPlateColour.ToPixel(), 1.0f, ComposeCopy);
    ITextStyle style = ReadoutStyle();
    style.size = std::max(1, int32_t(std::lround(style.size * drawScale)));
    if (LICE_CachedFont* font = CachedFontFor(&style)) {
      const int32_t pad = int32_t(std::lround(kPadX * drawScale));
      LICE_RECT r{pad, 0, w - pad, h};
      const int flags = LICE_DT_SINGLELINE | LICE_DT_VCENTER | LICE_DT_NOPREFIX;
      font->SetForeground(kNameColour.ToPixel());
      font->RenderText(plate, readout.text.name, -1, &r, flags);
      font->SetForeground(kValueColour.ToPixel());
      font->RenderText(plate, readout.text.value, -1, &r, flags | LICE_DT_RIGHT);
    }
    // A one-pixel rim and rounded, smoothed corners; the alpha is written last, whatever the
    // text drawing did to it.
    const double radius = kCornerRadius * drawScale;
    const int32_t rim = std::max(1, int32_t(std::lround(drawScale)));
    LICE_PixelWord* pixels = plate->PixelData();
    const int32_t span = plate->RowSpan();
    const LICE_PixelWord rimColour = kRimColour.ToPixel() & 0xFFFFFFu;
    for (int32_t y = 0; y < h; ++y) {
      LICE_PixelWord* row = pixels + (plate->RowsBottomUp() ? h - 1 - y : y) * span;
      const bool edgeRow = y < rim || y >= h - rim;
      for (int32_t x = 0; x < w; ++x) {
        const int32_t coverage = RoundedCoverage(x, y, w, h, radius);
        if (edgeRow || x < rim || x >= w - rim ||
            (coverage > 0 && RoundedCoverage(x, y, w, h, radius - rim) < 16))
          row[x] = rimColour;
        row[x] = (row[x] & 0xFFFFFFu) | (LICE_PixelWord(coverage * kPlateOpacity / 16) << 24);
      }
    }
  }
  const IBox clip = IBox::Clip(device, ToDevice(drawRect));
  if (clip.Empty()) return;
  const LICE_RECT source{clip.L - device.L, clip.T - device.T, clip.R - device.L,
                         clip.B - device.T};
  LICE_ComposeRect(drawSurface.get(), readoutPlate.get(), clip.L, clip.T, &source, 1.0f,
                   ComposeMode(ComposeCopy | ComposeUseSourceAlpha));
}

// ---- Typed values ----

bool IGraphics::CanEnterValue(int32_t paramIdx) const {
  for (int32_t i = 0; i < NControls(); ++i) {
    IReadoutText unused;
    if (controls[size_t(i)]->ParamIdx() == paramIdx &&
        DescribeControl(valueTexts.get(), controls[size_t(i)], &unused))
      return true;
  }
  return false;
}

bool IGraphics::OpenValueEntryForParam(int32_t paramIdx) {
  for (int32_t i = 0; i < NControls(); ++i)
    if (controls[size_t(i)]->ParamIdx() == paramIdx) return OpenValueEntry(i);
  return false;
}

bool IGraphics::OpenValueEntry(int32_t controlIndex) {
  IControl* control = GetControl(controlIndex);
  IReadoutText text;
  if (valueEntryIndex >= 0 || !IsWindowOpen() || !DescribeControl(valueTexts.get(), control, &text))
    return false;
  EndOpenGesture();
  valueEntryIndex = controlIndex;
  TickReadout();
  ITextStyle style = ReadoutStyle();
  style.align = 1;
  // The platform may finish the entry inside this call (a scripted one does).
  ShowTextEntry(control, &style, readout.box, text.value, nullptr);
  return true;
}

namespace {
// A typed value: a bound control's entry without a parameter record of its own.
bool IsTypedValue(const IValueTexts* texts, IControl* control, IParamDef* param) {
  IReadoutText unused;
  return !param && DescribeControl(texts, control, &unused);
}
}  // namespace

bool IGraphics::TextEntryAcceptable(IControl* control, IParamDef* param, const char* text) const {
  if (!IsTypedValue(valueTexts.get(), control, param)) return true;
  double normalized = 0;
  return text && valueTexts->Parse(control->ParamIdx(), text, strnlen(text, 32), &normalized);
}

void IGraphics::TextEntryClosed() {
  valueEntryIndex = -1;
}

bool IGraphics::CommitTypedValue(IControl* control, const char* text) {
  double normalized = 0;
  if (!valueTexts->Parse(control->ParamIdx(), text, strnlen(text, 32), &normalized)) return false;
  SetValueFromUserInGesture(control, normalized);
  TouchReadout(FindControlIndex(control));
  return true;
}

int32_t IGraphics::FindControlIndex(const IControl* control) const {
  const auto found = std::find(controls.begin(), controls.end(), control);
  return found == controls.end() ? -1 : int32_t(found - controls.begin());
}
