// The editor of BRIMO: a 790 x 249 panel drawn from thirteen images, ten film-strip knobs, two
// switches and an invisible area that opens the product page. Every state is shown by image
// frames; the only text drawn is the readout of a touched control, in the panel's own terms.
#include "BRIMO.h"

#include <iterator>
#include <memory>

#include "PanelValueTexts.h"

#include "IControl.h"
#include "IGraphics.h"

namespace {

struct Strip {
  int32_t resourceId;
  const char* name;
  int32_t frames;
};

constexpr Strip kBackground{101, "resources/img/BG.png", 1};

// Room for any typed value ("-15.0 dB") with blanks to spare.
constexpr int32_t kTypedValueMaxChars = 12;

struct Placed {
  enum Kind { Switch, Knob } kind;
  Strip image;
  int32_t x;
  int32_t y;
  int32_t paramIdx;
};

// In the order the controls are attached, which is also their drawing order.
constexpr Placed kControls[] = {
    {Placed::Switch, {113, "resources/img/BY.png", 2}, 375, 219, BRIMO::kBypass},
    {Placed::Knob, {104, "resources/img/LB.png", 61}, 161, 18, BRIMO::kLowBoost},
    {Placed::Knob, {107, "resources/img/MB.png", 61}, 405, 18, BRIMO::kMidBoost},
    {Placed::Knob, {109, "resources/img/MC.png", 61}, 283, 18, BRIMO::kMidCut},
    {Placed::Knob, {111, "resources/img/OUT.png", 61}, 665, 82, BRIMO::kOutput},
    {Placed::Knob, {102, "resources/img/HB.png", 9}, 530, 18, BRIMO::kHighBoost},
    {Placed::Knob, {103, "resources/img/HC.png", 3}, 530, 122, BRIMO::kHighCut},
    {Placed::Knob, {105, "resources/img/LC.png", 6}, 44, 84, BRIMO::kLowCut},
    {Placed::Knob, {106, "resources/img/LF.png", 4}, 160, 120, BRIMO::kLowFrequency},
    {Placed::Knob, {108, "resources/img/MBF.png", 8}, 404, 122, BRIMO::kMidBoostFrequency},
    {Placed::Knob, {110, "resources/img/MCF.png", 8}, 283, 122, BRIMO::kMidCutFrequency},
    {Placed::Switch, {112, "resources/img/OVER.png", 2}, 0, 221, BRIMO::kOversampling},
};

// Only the part inside the panel (694..790 x 221..249) can be clicked.
constexpr IBox kProductPageBox{694, 221, 794, 321};

}  // namespace

static_assert(BRIMO::kImage2xIdOffset == IGraphics::kImage2xIdOffset,
              "the 2x images sit where the graphics object looks for them");

void BRIMO::AttachEditor() {
  IGraphics* graphics = NewPlatformGraphics(this, kEditorWidth, kEditorHeight, kEditorFps);
  if (!graphics) return;
  // The first editor in a process decodes its images side by side.
  IGraphics::ImageRequest images[1 + std::size(kControls)];
  images[0] = {kBackground.resourceId, kBackground.name};
  for (size_t i = 0; i < std::size(kControls); ++i)
    images[i + 1] = {kControls[i].image.resourceId, kControls[i].image.name};
  graphics->PreloadBitmaps(images, int32_t(std::size(images)));

  graphics->AttachBackground(kBackground.resourceId, kBackground.name);
  for (const Placed& c : kControls) {
    const IBitmapHandle bitmap =
        graphics->LoadBitmap(c.image.resourceId, c.image.name, c.image.frames);
    IControl* control = c.kind == Placed::Switch
                            ? static_cast<IControl*>(new ISwitchControl(this, c.x, c.y, c.paramIdx,
                                                                        bitmap, BlendDefault))
                            : new IKnobMultiControl(this, c.x, c.y, c.paramIdx, bitmap, 0, 4.0);
    control->SetEntryMaxChars(kTypedValueMaxChars);
    graphics->AttachControl(control);
  }
  graphics->AttachControl(new IURLControl(this, kProductPageBox, kProductPageUrl, "", ""));
  graphics->EnableSizeMenu(true);
  graphics->SetValueTexts(std::make_unique<PanelValueTexts>());
  graphics->HandleMouseOver(true);  // the readout follows the resting pointer
  AttachGraphics(graphics);
}
