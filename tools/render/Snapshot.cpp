#include "Snapshot.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "AudioFile.h"
#include "BRIMO.h"
#include "IGraphicsHeadless.h"
#include "Settings.h"

namespace brimo::render {

namespace {

// Hosts end an instance this way: terminate, then drop the reference its creation gave.
struct EndInstance {
  void operator()(BRIMO* plug) const {
    plug->terminate();
    plug->release();
  }
};

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The control a user names by its parameter's host-visible name or by the name its readout shows
// ("High Boost", "HIGH BOOST", "oversampling"); -1 for none.
int32_t ControlNamed(BRIMO& plug, IGraphics& graphics, const std::string& name) {
  const std::string wanted = Lower(name);
  for (int32_t i = 0; i < graphics.NControls(); ++i) {
    const int32_t p = graphics.GetControl(i)->ParamIdx();
    const IParamDef* param = plug.GetParam(p);
    if (!param) continue;
    IReadoutText readout;
    const bool hasReadout =
        graphics.ValueTexts() && graphics.ValueTexts()->Describe(p, 0.0, &readout);
    if (Lower(param->Name()) == wanted || (hasReadout && Lower(readout.name) == wanted)) return i;
  }
  return -1;
}

// Shows the named control's readout, as when the pointer has rested on it.
bool Touch(BRIMO& plug, IGraphicsHeadless& graphics, const std::string& name, std::string& error) {
  const int32_t index = ControlNamed(plug, graphics, name);
  if (index < 0) {
    error = "no control named \"" + name + "\"";
    return false;
  }
  const IBox box = IBox::Clip(graphics.GetControl(index)->GetBox(),
                              IBox{0, 0, graphics.Width(), graphics.Height()});
  double now = 0;
  graphics.SetClock([&now] { return now; });
  graphics.OnMouseOver((box.L + box.R) / 2, (box.T + box.B) / 2, {});
  now = IGraphics::kReadoutRestSeconds;
  graphics.TickReadout();
  graphics.SetClock(nullptr);
  if (graphics.ReadoutControl() != index) {
    error = "\"" + name + "\" has no readout";
    return false;
  }
  return true;
}

}  // namespace

EditorPicture PictureOf(LICE_IBitmap& bitmap) {
  EditorPicture picture;
  picture.width = bitmap.Width();
  picture.height = bitmap.Height();
  const LICE_PixelWord* data = bitmap.PixelData();
  if (!data || picture.width <= 0 || picture.height <= 0) return {};
  const size_t width = static_cast<size_t>(picture.width);
  const size_t span = static_cast<size_t>(bitmap.RowSpan());
  picture.pixels.resize(width * static_cast<size_t>(picture.height));
  for (int y = 0; y < picture.height; ++y) {
    // A bottom-up bitmap stores the last row first.
    const int stored = bitmap.RowsBottomUp() ? picture.height - 1 - y : y;
    const LICE_PixelWord* row = data + static_cast<size_t>(stored) * span;
    std::copy(row, row + width, picture.pixels.begin() + static_cast<ptrdiff_t>(y * width));
  }
  return picture;
}

bool RenderEditor(const std::vector<Assignment>& sets, EditorPicture& picture, std::string& error,
                  double scale, const std::string& touch) {
  std::unique_ptr<BRIMO, EndInstance> plug(new BRIMO());
  // Initialising lists the parameters to the controller and restores the default preset, as
  // when a host creates the plug-in.
  if (plug->initialize(nullptr) != Steinberg::kResultOk) {
    error = "cannot initialise the built-in plug-in";
    return false;
  }
  std::vector<ResolvedSetting> settings;
  if (!ResolveSettings(*plug, sets, settings, error)) return false;
  // The host's way of setting a value: the controls bound to the parameter follow it.
  for (const ResolvedSetting& s : settings)
    if (plug->setParamNormalized(s.id, s.normalized) != Steinberg::kResultOk) {
      error = "the plug-in refused the value for \"" + s.name + "\"";
      return false;
    }
  auto* graphics = dynamic_cast<IGraphicsHeadless*>(plug->GetGraphics());
  if (!graphics) {
    error = "the plug-in built no editor";
    return false;
  }
  if (!graphics->SetDrawScale(scale)) {
    error = "the editor cannot be drawn at that scale";
    return false;
  }
  if (!touch.empty() && !Touch(*plug, *graphics, touch, error)) return false;
  {
    const IPlugBase::LockGuard guard(plug->GetLock());
    graphics->RenderAll();
    picture = PictureOf(*graphics->Screen());
  }
  if (picture.pixels.empty()) {
    error = "the editor drew nothing";
    return false;
  }
  return true;
}

bool WritePng(PendingFile& file, const EditorPicture& picture, std::string& error) {
  // Byte order R, G, B, A whatever the machine's word order.
  std::vector<png_byte> bytes(picture.pixels.size() * 4);
  for (size_t i = 0; i < picture.pixels.size(); ++i) {
    const std::uint32_t p = picture.pixels[i];
    bytes[4 * i + 0] = static_cast<png_byte>(p >> 16);
    bytes[4 * i + 1] = static_cast<png_byte>(p >> 8);
    bytes[4 * i + 2] = static_cast<png_byte>(p);
    bytes[4 * i + 3] = static_cast<png_byte>(p >> 24);
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(picture.width);
  image.height = static_cast<png_uint_32>(picture.height);
  image.format = PNG_FORMAT_RGBA;
  const bool ok =
      png_image_write_to_file(&image, file.TempPath().c_str(), 0, bytes.data(), 0, nullptr) != 0;
  if (!ok) {
    error = "cannot write " + file.Target() + ": " + image.message;
    png_image_free(&image);
    return false;
  }
  png_image_free(&image);
  return true;
}

}  // namespace brimo::render
