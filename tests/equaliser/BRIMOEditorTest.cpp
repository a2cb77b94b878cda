// BRIMO's editor: the fourteen controls in their order with their boxes, images and parameters,
// the frames the knobs show, the product page, and the default and a moved editor drawn pixel
// for pixel as the committed reference pictures show them.
#include "BRIMO.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "IGraphicsCaches.h"
#include "IGraphicsHeadless.h"
#include "LicePng.h"

namespace {

IGraphicsHeadless* EditorOf(BRIMO& plug) {
  return static_cast<IGraphicsHeadless*>(plug.GetGraphics());
}

TEST(BRIMOEditor, FourteenControlsInTheirOrderWithTheirBoxesImagesAndParameters) {
  struct Row {
    const char* kind;
    IBox box;
    int32_t param;
    int32_t frames;  // 0: no image
  };
  const char* sw = typeid(ISwitchControl).name();
  const char* knob = typeid(IKnobMultiControl).name();
  const Row rows[14] = {
      {typeid(IBitmapControl).name(), {0, 0, 790, 249}, -1, 1},
      {sw, {375, 219, 415, 249}, BRIMO::kBypass, 2},
      {knob, {161, 18, 244, 110}, BRIMO::kLowBoost, 61},
      {knob, {405, 18, 497, 110}, BRIMO::kMidBoost, 61},
      {knob, {283, 18, 373, 110}, BRIMO::kMidCut, 61},
      {knob, {665, 82, 747, 175}, BRIMO::kOutput, 61},
      {knob, {530, 18, 625, 110}, BRIMO::kHighBoost, 9},
      {knob, {530, 122, 625, 215}, BRIMO::kHighCut, 3},
      {knob, {44, 84, 127, 169}, BRIMO::kLowCut, 6},
      {knob, {160, 120, 249, 203}, BRIMO::kLowFrequency, 4},
      {knob, {404, 122, 497, 215}, BRIMO::kMidBoostFrequency, 8},
      {knob, {283, 122, 372, 215}, BRIMO::kMidCutFrequency, 8},
      {sw, {0, 221, 150, 246}, BRIMO::kOversampling, 2},
      {typeid(IURLControl).name(), {694, 221, 794, 321}, -1, 0},
  };
  BRIMO plug;
  IGraphicsHeadless* editor = EditorOf(plug);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->Width(), 790);
  EXPECT_EQ(editor->Height(), 249);
  EXPECT_EQ(editor->FramesPerSecond(), 25);
  ASSERT_EQ(editor->NControls(), 14);
  for (int i = 0; i < 14; ++i) {
    IControl* c = editor->GetControl(i);
    EXPECT_STREQ(typeid(*c).name(), rows[i].kind) << "control " << i;
    EXPECT_EQ(c->GetBox(), rows[i].box) << "control " << i;
    EXPECT_EQ(c->ParamIdx(), rows[i].param) << "control " << i;
    const IBitmapHandle* image = nullptr;
    if (auto* b = dynamic_cast<IBitmapControl*>(c)) image = &b->Bitmap();
    if (auto* k = dynamic_cast<IKnobMultiControl*>(c)) image = &k->Bitmap();
    if (!image) continue;
    EXPECT_NE(image->bitmap, nullptr) << "control " << i << " has its image";
    EXPECT_EQ(image->frames, rows[i].frames) << "control " << i;
    EXPECT_EQ(image->height % rows[i].frames, 0) << "control " << i;
  }
  EXPECT_EQ(editor->GetControl(0)->GetBlend().method, BlendOpaque);
  EXPECT_EQ(editor->GetControl(1)->GetBlend().method, BlendDefault);
}

TEST(BRIMOEditor, KnobsShowTheFrameOfTheirPositionAndTheProductPageOpens) {
  BRIMO plug;
  plug.Initialize();
  IGraphicsHeadless* editor = EditorOf(plug);
  auto frame = [&](int control) {
    return static_cast<IKnobMultiControl*>(editor->GetControl(control))->FrameNumber();
  };
  EXPECT_EQ(frame(5), 31) << "Output at 0 dB is the middle of 61 frames";
  plug.GetParam(BRIMO::kHighBoost)->SetPlain(8.0);
  plug.GetParam(BRIMO::kLowFrequency)->SetPlain(2.0);
  plug.RedrawParamControls();
  EXPECT_EQ(frame(6), 9);
  EXPECT_EQ(frame(9), 3);
  EXPECT_DOUBLE_EQ(editor->GetControl(9)->GetValue(), 2.0 / 3.0);

  editor->OnMouseDown(700, 230, {true});
  editor->OnMouseUp(700, 230, {});
  editor->OnMouseDown(700, 260, {true});  // below the panel
  EXPECT_EQ(editor->openedUrls, std::vector<std::string>{BRIMO::kProductPageUrl});
  EXPECT_EQ(std::string(BRIMO::kProductPageUrl).rfind("https://www.kwillowaudiolab.com/", 0), 0u);
}

// Beside each image the module carries one at twice the width and height (same frame count).
TEST(BRIMOEditor, EveryImageHasATwiceSizeCounterpart) {
  for (int id = 101; id <= 113; ++id) {
    std::unique_ptr<LICE_IBitmap> one(LICE_LoadPngResource(nullptr, id, "a.png"));
    std::unique_ptr<LICE_IBitmap> two(
        LICE_LoadPngResource(nullptr, id + BRIMO::kImage2xIdOffset, "a.png"));
    ASSERT_TRUE(one && two) << id;
    EXPECT_EQ(two->Width(), 2 * one->Width()) << id;
    EXPECT_EQ(two->Height(), 2 * one->Height()) << id;
  }
  EXPECT_EQ(LICE_LoadPngResource(nullptr, 114 + BRIMO::kImage2xIdOffset, "a.png"), nullptr);
}

// The headless render equals the committed reference picture pixel for pixel. The references are
// brimo-render --snapshot pictures: scripts/docs-pictures writes them again when the artwork
// changes.
TEST(BRIMOEditor, DrawsExactlyTheReferencePictures) {
  struct Case {
    const char* file;
    std::vector<std::pair<int32_t, double>> plain;
    double scale = 1.0;
  };
  const std::vector<std::pair<int32_t, double>> moved = {
      {BRIMO::kHighBoost, 8.0}, {BRIMO::kLowFrequency, 2.0}, {BRIMO::kOutput, 6.0},
      {BRIMO::kMidCut, 0.5},    {BRIMO::kOversampling, 1.0}, {BRIMO::kBypass, 1.0}};
  const Case cases[] = {
      {"editor-default.png", {}},
      {"editor-moved.png", moved},
      {"editor-moved-2x.png", moved, 2.0},
  };
  for (const Case& c : cases) {
    const std::string path = std::string(BRIMO_EDITOR_REFERENCES) + "/" + c.file;
    std::unique_ptr<LICE_IBitmap> reference(LICE_DecodePngFile(path.c_str(), nullptr));
    ASSERT_NE(reference, nullptr) << path;
    BRIMO plug;
    plug.Initialize();
    for (const auto& [param, value] : c.plain) plug.GetParam(param)->SetPlain(value);
    plug.RedrawParamControls();
    IGraphicsHeadless* editor = EditorOf(plug);
    ASSERT_TRUE(editor->SetDrawScale(c.scale));
    editor->RenderAll();
    LICE_IBitmap* screen = editor->Screen();
    const int width = int(790 * c.scale), height = int(249 * c.scale);
    ASSERT_EQ(reference->Width(), width);
    ASSERT_EQ(reference->Height(), height);
    int differing = 0;
    std::string first;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const LICE_PixelWord want = reference->PixelData()[y * reference->RowSpan() + x];
        const LICE_PixelWord got = screen->PixelData()[y * screen->RowSpan() + x];
        if (want != got && differing++ == 0)
          first = "first at (" + std::to_string(x) + ", " + std::to_string(y) +
                  "): " + std::to_string(got) + " instead of " + std::to_string(want);
      }
    }
    EXPECT_EQ(differing, 0) << c.file << ", " << first;
  }
}

// At a fractional scale a device pixel hits a control exactly where that control is drawn, and a
// drag turns a knob as far per panel distance as at 100 %. The images of a scale go with the last
// editor drawing at it.
TEST(BRIMOEditor, AtAnyScaleHitsFollowTheDrawingAndDragsTravelInPanelUnits) {
  const int32_t cachedBefore = graphics_cache::ScaledBitmapCount();
  {
    BRIMO plug;
    plug.Initialize();
    IGraphicsHeadless* editor = EditorOf(plug);
    ASSERT_TRUE(editor->SetDrawScale(1.5));
    editor->RenderAll();
    EXPECT_EQ(editor->Screen()->Width(), 1185);
    EXPECT_EQ(editor->Screen()->Height(), 374);
    for (int32_t i = 1; i < editor->NControls() - 1; ++i) {
      IControl* control = editor->GetControl(i);
      const IBox device = editor->ToDevice(control->GetHitBox());
      for (int32_t y = device.T - 2; y < device.B + 2; ++y)
        for (int32_t x = device.L - 2; x < device.R + 2; ++x)
          ASSERT_EQ(control->IsHit(editor->ToPanelCoordinate(x), editor->ToPanelCoordinate(y)),
                    device.Contains(x, y))
              << "control " << i << " at device (" << x << ", " << y << ")";
    }
    // LOW BOOST's 92 panel units of height take 138 device pixels; 46 units up is an eighth.
    const auto panel = [&](int32_t device) { return editor->ToPanelCoordinate(device); };
    editor->OnMouseDown(panel(300), panel(90), {true});
    for (int32_t y = 89; y >= 21; --y) editor->OnMouseDrag(panel(300), panel(y), {true});
    editor->OnMouseUp(panel(300), panel(21), {});
    EXPECT_NEAR(editor->GetControl(2)->GetValue(), 0.125, 1e-12);
    EXPECT_GT(graphics_cache::ScaledBitmapCount(), cachedBefore);
    // Above 100 % the images come from the set drawn at twice the size, not from the 1x set.
    ASSERT_TRUE(editor->SetDrawScale(2.0));
    const auto& background = static_cast<IBitmapControl*>(editor->GetControl(0))->Bitmap();
    std::unique_ptr<LICE_IBitmap> twice(
        LICE_LoadPngResource(nullptr, 101 + BRIMO::kImage2xIdOffset, "BG.png"));
    LICE_IBitmap* drawn = editor->ImageAtScale(background);
    ASSERT_TRUE(twice && drawn);
    EXPECT_EQ(std::memcmp(drawn->PixelData(), twice->PixelData(),
                          size_t(twice->RowSpan()) * size_t(twice->Height()) * 4),
              0);
    ASSERT_TRUE(editor->SetDrawScale(1.5));
    EXPECT_FALSE(editor->SetDrawScale(std::nan("")));
    EXPECT_FALSE(editor->SetDrawScale(100.0));
    EXPECT_EQ(editor->DrawScale(), 1.5);
  }
  EXPECT_EQ(graphics_cache::ScaledBitmapCount(), cachedBefore);
}

}  // namespace
