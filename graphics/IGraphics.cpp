#include "IGraphics.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "IEditorSettings.h"
#include "IGraphicsCaches.h"
#include "IParamDef.h"
#include "LiceBlit.h"
#include "LiceFont.h"
#include "LiceScale.h"

namespace {

// Holds the plug-in lock (when there is a plug-in) while the control list changes, so that the
// processing thread never walks a list being changed.
// True when inner lies wholly inside outer.
bool Encloses(const IBox& outer, const IBox& inner) {
  return inner.L >= outer.L && inner.T >= outer.T && inner.R <= outer.R && inner.B <= outer.B;
}

class ListGuard {
public:
  explicit ListGuard(IPlugBase* plugin) : plugin(plugin) {
    if (plugin) plugin->GetLock().lock();
  }
  ~ListGuard() {
    if (plugin) plugin->GetLock().unlock();
  }
  ListGuard(const ListGuard&) = delete;
  ListGuard& operator=(const ListGuard&) = delete;

private:
  IPlugBase* plugin;
};

}  // namespace

IGraphics::IGraphics(IPlugBase* plugin, int32_t width, int32_t height, int32_t framesPerSecond)
    : plugin(plugin), width(width), height(height), framesPerSecond(framesPerSecond) {}

IGraphics::~IGraphics() {
  ReleaseDrawSurface();
  ListGuard guard(plugin);
  keyCatcher.reset();
  for (size_t i = controls.size(); i-- > 0;) delete controls[i];
  controls.clear();
}

// ---- Building ----

int32_t IGraphics::AttachControl(IControl* control) {
  ListGuard guard(plugin);
  controls.push_back(control);
  return int32_t(controls.size()) - 1;
}

void IGraphics::AttachBackground(int32_t resourceId, const char* name) {
  const IBitmapHandle bitmap = LoadBitmap(resourceId, name, 1);
  auto* background = new IBitmapControl(plugin, 0, 0, -1, bitmap, BlendOpaque);
  ListGuard guard(plugin);
  controls.insert(controls.begin(), background);
}

IBitmapHandle IGraphics::LoadBitmap(int32_t resourceId, const char* name, int32_t frames) {
  LICE_IBitmap* bitmap = graphics_cache::FindBitmap(resourceId);
  if (!bitmap) {
    bitmap = LoadPlatformBitmap(resourceId, name);
    // A missing image is not cached: the next editor tries again.
    if (bitmap) graphics_cache::AddBitmap(resourceId, bitmap);
  }
  IBitmapHandle handle;
  handle.resourceId = resourceId;
  handle.frames = frames > 0 ? frames : 1;
  if (bitmap) {
    handle.bitmap = bitmap;
    handle.width = bitmap->Width();
    handle.height = bitmap->Height();
    const bool known =
        std::any_of(loadedImages.begin(), loadedImages.end(),
                    [&](const LoadedImage& i) { return i.handle.resourceId == resourceId; });
    if (resourceId != 0 && !known) loadedImages.push_back({handle, name ? name : ""});
  }
  return handle;
}

namespace {

// Runs work(0 .. count - 1) on up to one thread per core, the calling thread included, and
// returns when all is done. Without threads the calling thread does it all.
template <class Work>
void SideBySide(size_t count, Work work) {
  std::atomic<size_t> next{0};
  auto run = [&] {
    for (size_t k; (k = next.fetch_add(1)) < count;) work(k);
  };
  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::thread> helpers;
  try {
    for (size_t t = 1; t < std::min(cores, count); ++t) helpers.emplace_back(run);
  } catch (...) {
    // No thread to be had: the calling thread does the rest.
  }
  run();
  for (std::thread& helper : helpers) helper.join();
}

}  // namespace

void IGraphics::PreloadBitmaps(const ImageRequest* images, int32_t count) {
  std::vector<const ImageRequest*> missing;
  for (int32_t i = 0; i < count; ++i)
    if (!graphics_cache::FindBitmap(images[i].resourceId)) missing.push_back(&images[i]);
  if (missing.empty()) return;
  std::vector<LICE_IBitmap*> decoded(missing.size(), nullptr);
  SideBySide(missing.size(), [&](size_t k) {
    decoded[k] = LoadPlatformBitmap(missing[k]->resourceId, missing[k]->name);
  });
  for (size_t k = 0; k < missing.size(); ++k)
    if (decoded[k]) graphics_cache::AddBitmap(missing[k]->resourceId, decoded[k]);
}

void IGraphics::ReleaseDrawSurface() {
  // The last open editor at a scale takes that scale's images with it.
  if (drawSurface && scaleKey != 1000) graphics_cache::LetGoOfScale(scaleKey);
  drawSurface.reset();
}

void IGraphics::PrepareDrawSurface() {
  if (!drawSurface && scaleKey != 1000) graphics_cache::HoldScale(scaleKey);
  // Every image of the editor at its scale, decoded and resampled side by side (each image is
  // independent; the caches take their own locks).
  if (scaleKey != 1000)
    SideBySide(loadedImages.size(), [&](size_t k) { ImageAtScale(loadedImages[k].handle); });
  auto surface = std::make_unique<LICE_SysBitmap>();
  surface->Resize(DeviceWidth(), DeviceHeight());
  drawSurface = std::move(surface);
}

// ---- Scale ----

namespace {

// Rounding guard: panel edges times the scale land on whole pixels despite the binary fraction.
constexpr double kEdgeTolerance = 1e-7;

int32_t SaturatedInt(double v) {
  return int32_t(std::clamp(v, double(INT32_MIN), double(INT32_MAX)));
}

}  // namespace

bool IGraphics::SetDrawScale(double scale) {
  if (!std::isfinite(scale) || scale < 0.25 || scale > 8.0) return false;
  const int32_t key = int32_t(std::lround(scale * 1000.0));
  if (key == scaleKey) return true;
  EndOpenGesture();
  // An editor with a surface (an open one) holds its scale's images in the cache.
  if (drawSurface && key != 1000) graphics_cache::HoldScale(key);
  if (drawSurface && scaleKey != 1000) graphics_cache::LetGoOfScale(scaleKey);
  scaleKey = key;
  drawScale = key == 1000 ? 1.0 : scale;
  if (drawSurface) PrepareDrawSurface();
  for (IControl* control : controls) control->MarkDirty(false);
  DeviceSizeChanged();
  return true;
}

bool IGraphics::SetDeviceScale(double scale, bool fromHost) {
  if (!std::isfinite(scale) || scale < 0.5 || scale > 4.0) return false;
  if (!fromHost && hostDeviceScale) return true;  // the host's factor wins
  const double user = drawScale / deviceScale;
  if (!SetDrawScale(scale * user)) return false;
  deviceScale = scale;
  hostDeviceScale = hostDeviceScale || fromHost;
  return true;
}

int32_t IGraphics::UserSize() const {
  return int32_t(std::lround(drawScale / deviceScale * 100.0));
}

bool IGraphics::SetUserSize(int32_t percent) {
  return percent >= 25 && percent <= 800 && SetDrawScale(deviceScale * percent / 100.0);
}

void IGraphics::ChooseUserSize(int32_t percent) {
  if (!SetUserSize(percent)) return;
  WriteEditorSize(SettingsFolder(), percent);
  if (plugin) plugin->ResizeEditor(DeviceWidth(), DeviceHeight());
}

int32_t IGraphics::ToDeviceEdge(int32_t panel) const {
  if (scaleKey == 1000) return panel;
  return SaturatedInt(std::ceil(double(panel) * drawScale - kEdgeTolerance));
}

IBox IGraphics::ToDevice(const IBox& box) const {
  if (scaleKey == 1000 || box.Empty()) return box;
  return {ToDeviceEdge(box.L), ToDeviceEdge(box.T), ToDeviceEdge(box.R), ToDeviceEdge(box.B)};
}

IBox IGraphics::ToPanel(const IBox& deviceBox) const {
  if (scaleKey == 1000 || deviceBox.Empty()) return deviceBox;
  auto down = [&](int32_t v) { return SaturatedInt(std::floor(v / drawScale + kEdgeTolerance)); };
  auto up = [&](int32_t v) { return SaturatedInt(std::ceil(v / drawScale - kEdgeTolerance)); };
  return {down(deviceBox.L), down(deviceBox.T), up(deviceBox.R), up(deviceBox.B)};
}

int32_t IGraphics::ToPanelCoordinate(int32_t device) const {
  if (scaleKey == 1000) return device;
  return SaturatedInt(std::floor(device / drawScale + kEdgeTolerance));
}

LICE_IBitmap* IGraphics::ImageAtScale(const IBitmapHandle& handle) {
  // A bitmap made in memory, or a missing image, is drawn as it is.
  if (scaleKey == 1000 || handle.resourceId == 0 || !handle.bitmap) return handle.bitmap;
  if (LICE_IBitmap* found = graphics_cache::FindScaledBitmap(handle.resourceId, scaleKey))
    return found;
  const int32_t twiceId = handle.resourceId + kImage2xIdOffset;
  LICE_IBitmap* twice = graphics_cache::FindBitmap(twiceId);
  if (!twice) {
    // The loader checks the name's extension only: the image's own name serves for its 2x twin.
    const char* name = "image.png";
    for (const LoadedImage& image : loadedImages)
      if (image.handle.resourceId == handle.resourceId && !image.name.empty())
        name = image.name.c_str();
    twice = LoadPlatformBitmap(twiceId, name);
    if (twice) graphics_cache::AddBitmap(twiceId, twice);
  }
  const bool twiceFits =
      twice && twice->Width() == 2 * handle.width && twice->Height() == 2 * handle.height;
  if (scaleKey == 2000 && twiceFits) return twice;
  // Any other scale is resampled frame by frame from the larger set (or, without one, from the
  // image itself), once, into the process-wide cache.
  LICE_IBitmap* source = twiceFits ? twice : handle.bitmap;
  const int32_t frames = handle.frames > 0 ? handle.frames : 1;
  const int32_t across = handle.framesHorizontal ? frames : 1;
  const int32_t down = handle.framesHorizontal ? 1 : frames;
  const int32_t frameWidth = std::max(1, int32_t(std::lround(handle.width / across * drawScale)));
  const int32_t frameHeight = std::max(1, int32_t(std::lround(handle.height / down * drawScale)));
  LICE_IBitmap* made = handle.framesHorizontal
                           ? LICE_ResampleFrames(source, 1, frameWidth * across, frameHeight)
                           : LICE_ResampleFrames(source, frames, frameWidth, frameHeight);
  if (made) graphics_cache::AddScaledBitmap(handle.resourceId, scaleKey, made);
  return made;
}

void IGraphics::Resize(int32_t newWidth, int32_t newHeight) {
  EndOpenGesture();
  width = newWidth;
  height = newHeight;
  captureIndex = -1;
  overIndex = -1;
  lastX = -1;
  {
    ListGuard guard(plugin);
    for (size_t i = controls.size(); i-- > 0;) delete controls[i];
    controls.clear();
  }
  ReleaseDrawSurface();
  PrepareDrawSurface();
  if (plugin) plugin->ResizeEditor(newWidth, newHeight);
}

void IGraphics::SetKeyCatcher(IControl* control) {
  keyCatcher.reset(control);
}

bool IGraphics::TakesKeys() const {
  return keyCatcher != nullptr ||
         std::any_of(controls.begin(), controls.end(), [](IControl* c) { return c->TakesKeys(); });
}

// ---- Drawing ----

void IGraphics::Draw(const IBox& updateBox) {
  if (controls.empty()) return;
  if (!drawSurface) PrepareDrawSurface();
  if (drawByUpdateRect) {
    drawRect = updateBox;
    const IBox panel{0, 0, width, height};
    for (IControl* control : controls) {
      const IBox& box = control->GetBox();
      if (!control->IsHidden() && IBox::Overlaps(updateBox, box) && !updateBox.Empty() &&
          !box.Empty())
        control->Draw(this);
      // Clean only what this pass redrew: all of the control that lies on the panel (a partial
      // repaint after an edit would otherwise leave its old picture for good).
      const IBox shown = IBox::Clip(box, panel);
      if (box.Empty() || shown.Empty() || Encloses(updateBox, shown)) control->MarkClean();
    }
    // The readout lies over the controls; what it left behind was redrawn above.
    if (readout.index >= 0 && IBox::Overlaps(updateBox, readout.box)) DrawReadout();
    if (Encloses(updateBox, readoutDirty)) readoutDirty = {};
  } else if (controls[0]->IsDirty()) {
    drawRect = controls[0]->GetBox();
    for (size_t j = 0; j < controls.size(); ++j) {
      if (j == 0 || !controls[j]->IsHidden()) {
        controls[j]->Draw(this);
        controls[j]->MarkClean();
      }
    }
  } else {
    for (size_t i = 1; i < controls.size(); ++i) {
      if (!controls[i]->IsDirty()) continue;
      drawRect = controls[i]->GetBox();
      for (size_t j = 0; j < controls.size(); ++j) {
        if (controls[j]->IsHidden()) continue;
        if (j == i || IBox::Overlaps(controls[j]->GetBox(), drawRect)) controls[j]->Draw(this);
      }
      controls[i]->MarkClean();
    }
  }
  if (!drawByUpdateRect && readout.index >= 0) {
    drawRect = readout.box;
    DrawReadout();
    readoutDirty = {};
  }
  PresentRect(updateBox);
}

bool IGraphics::DrawBitmap(const IBitmapHandle& bitmap, const IBox& dest, int32_t srcX,
                           int32_t srcY, const IBlend* blend) {
  const int32_t mode = blend ? blend->ComposeMode() : (ComposeCopy | ComposeUseSourceAlpha);
  const float weight = blend ? blend->weight : 1.0f;
  if (scaleKey != 1000) return DrawBitmapScaled(bitmap, dest, srcX, srcY, weight, mode);
  const IBox c = IBox::Clip(dest, drawRect);
  const LICE_RECT source{srcX + c.L - dest.L, srcY + c.T - dest.T, srcX + c.R - dest.L,
                         srcY + c.B - dest.T};
  // An empty clip or a missing bitmap draws nothing.
  if (c.Empty() || !bitmap.bitmap || !drawSurface) return true;
  LICE_ComposeRect(drawSurface.get(), bitmap.bitmap, c.L, c.T, &source, weight, mode);
  return true;
}

bool IGraphics::DrawBitmapScaled(const IBitmapHandle& bitmap, const IBox& dest, int32_t srcX,
                                 int32_t srcY, float weight, int32_t mode) {
  LICE_IBitmap* image = ImageAtScale(bitmap);
  if (!image || !drawSurface || dest.Empty()) return true;
  // The frame the panel offsets point at, found again in the image at this scale: frames are
  // whole multiples of the frame size in both.
  const int32_t frames = bitmap.frames > 0 ? bitmap.frames : 1;
  const int32_t frameW = bitmap.framesHorizontal ? bitmap.width / frames : bitmap.width;
  const int32_t frameH = bitmap.framesHorizontal ? bitmap.height : bitmap.height / frames;
  const int32_t imageFrameW = bitmap.framesHorizontal ? image->Width() / frames : image->Width();
  const int32_t imageFrameH = bitmap.framesHorizontal ? image->Height() : image->Height() / frames;
  if (frameW <= 0 || frameH <= 0 || imageFrameW <= 0 || imageFrameH <= 0) return true;
  const int32_t frameX = srcX / frameW, frameY = srcY / frameH;
  const IBox frame{frameX * imageFrameW, frameY * imageFrameH, (frameX + 1) * imageFrameW,
                   (frameY + 1) * imageFrameH};
  const int32_t offsetX = frame.L + int32_t(std::lround((srcX - frameX * frameW) * drawScale));
  const int32_t offsetY = frame.T + int32_t(std::lround((srcY - frameY * frameH) * drawScale));
  const IBox d = ToDevice(dest);
  IBox c = IBox::Clip(d, ToDevice(drawRect));
  if (c.Empty()) return true;
  // Never past the frame: a device box a pixel larger than the frame leaves that pixel alone.
  c.R = std::min(c.R, d.L + frame.R - offsetX);
  c.B = std::min(c.B, d.T + frame.B - offsetY);
  if (c.R <= c.L || c.B <= c.T) return true;
  const LICE_RECT source{offsetX + c.L - d.L, offsetY + c.T - d.T, offsetX + c.R - d.L,
                         offsetY + c.B - d.T};
  LICE_ComposeRect(drawSurface.get(), image, c.L, c.T, &source, weight, mode);
  return true;
}

namespace {

int TextFlags(const ITextStyle& style) {
  int flags = LICE_DT_NOCLIP;
  if (style.align == 1)
    flags |= LICE_DT_CENTER;
  else if (style.align != 0)
    flags |= LICE_DT_RIGHT;
  if (style.color.A != 255) flags |= LICE_DT_USEFGALPHA;
  return flags;
}

}  // namespace

bool IGraphics::DrawText(ITextStyle* style, const char* text, const IBox& box) {
  if (!text || !text[0]) return true;
  // Type is set at the device size, not enlarged: crisp at every scale.
  ITextStyle scaled;
  if (scaleKey != 1000 && style) {
    scaled = *style;
    scaled.size = std::max(1, int32_t(std::lround(style->size * drawScale)));
    scaled.font = nullptr;
    style = &scaled;
  }
  LICE_CachedFont* font = CachedFontFor(style);
  if (!font) return false;
  font->SetForeground(style->color.ToPixel());
  const IBox area = ToDevice(box);
  LICE_RECT rect{area.L, area.T, area.R, area.B};
  font->RenderText(drawSurface.get(), text, -1, &rect, TextFlags(*style));
  return true;
}

bool IGraphics::MeasureText(ITextStyle* style, const char* text, IBox* box) {
  if (!text || !text[0] || !box) return true;
  if (!drawSurface) PrepareDrawSurface();
  LICE_CachedFont* font = CachedFontFor(style);
  if (!font) return false;
  font->SetForeground(style->color.ToPixel());
  LICE_RECT rect{0, 0, 0, 0};
  font->RenderText(drawSurface.get(), text, -1, &rect, TextFlags(*style) | LICE_DT_CALCRECT);
  const int32_t w = rect.right - rect.left;
  const int32_t h = rect.bottom - rect.top;
  if (style->align == 0) {
    box->R = box->L + w;
  } else if (style->align == 1) {
    box->L = (box->L + box->R) / 2 - w / 2;
    box->R = box->L + w;
  } else {
    box->L = box->R - w;
  }
  box->B = box->T + h;
  return true;
}

bool IGraphics::CollectDirtyRect(IBox* out) {
  IBox area = readoutDirty;
  bool any = !readoutDirty.Empty();
  for (IControl* control : controls) {
    if (control->IsDirty()) {
      area = IBox::Union(area, control->GetBox());
      any = true;
    }
  }
  if (out) *out = area;
  return any;
}

// ---- Values ----

void IGraphics::SetParameterFromPlugin(int32_t paramIdx, double value, bool isNormalised) {
  if (!isNormalised) {
    const IParamDef* param = plugin ? plugin->GetParam(paramIdx) : nullptr;
    if (!param) return;
    value = param->ToNormalized(value);
  }
  const bool userHoldsIt = paramIdx == gestureParam.load(std::memory_order_relaxed);
  for (IControl* control : controls) {
    if (control->ParamIdx() == paramIdx && !userHoldsIt) control->SetValueFromPlugin(value);
    const int32_t k = control->AuxBindingPosition(paramIdx);
    if (k >= 0) control->SetAuxValueFromPlugin(k, value);
  }
}

void IGraphics::PromptUserInput(IControl* control, IParamDef* param, const IBox& box) {
  if (!control || !param || box.Empty()) return;
  const bool listed =
      param->Kind() == KindEnum || (param->Kind() == KindBool && param->NDisplayTexts() > 0);
  if (listed) {
    IPopupMenu menu;
    char current[IParamDisplaySize];
    param->GetDisplay(current);
    for (int32_t i = 0; i < param->NDisplayTexts(); ++i) {
      IPopupItem item;
      item.text = param->GetDisplayText(double(i));
      if (item.text == current) item.flags |= IPopupItem::Ticked;
      menu.items.push_back(std::move(item));
    }
    if (IPopupMenu* answer = ShowPopupMenu(&menu, box)) {
      SetValueFromUserInGesture(control, param->ToNormalized(double(answer->chosen)));
    }
    return;
  }
  double plain = param->Value();
  if (param->NegateDisplay()) plain = -plain;
  char text[IParamDisplaySize];
  if (param->Precision() > 0)
    std::snprintf(text, sizeof text, "%.*f", int(param->Precision()), plain);
  else
    std::snprintf(text, sizeof text, "%d", int(TruncToInt32(plain)));
  ShowTextEntry(control, &control->TextStyle(), box, text, param);
}

bool TextEntryAcceptsChar(IParamKind kind, uint32_t ch) {
  const bool digitOrSign = (ch >= '0' && ch <= '9') || ch == '+' || ch == '-';
  switch (kind) {
    case KindBool:
    case KindInt:
    case KindEnum:
      return digitOrSign;
    case KindDouble:
      return digitOrSign || ch == '.';
    default:
      return true;
  }
}

void IGraphics::CommitTextEntry(IControl* control, IParamDef* param, const char* text) {
  if (!control) return;
  // The entry box holds at most 31 characters; anything longer is cut, never overrun.
  char typed[32];
  CopyTruncated(typed, text, sizeof typed);
  if (!param) {
    if (control->ParamIdx() >= 0 && valueTexts && CommitTypedValue(control, typed)) return;
    control->SetTextFromEntry(typed);
    return;
  }
  double plain = 0.0;
  if (param->Kind() == KindBool || param->Kind() == KindEnum) {
    for (int32_t k = 0; k < param->NDisplayTexts(); ++k) {
      const IDisplayText* entry = param->GetDisplayTextEntry(k);
      if (entry && std::strcmp(entry->text, typed) == 0) {
        plain = double(entry->value);
        break;
      }
    }
  } else {
    // A decimal comma reads as a point: hosts may run in a locale that shows one.
    for (char* c = typed; *c; ++c)
      if (*c == ',') *c = '.';
    plain = std::strtod(typed, nullptr);
    if (param->NegateDisplay()) plain = -plain;
  }
  SetValueFromUserInGesture(control, param->ToNormalized(plain));
}
