#pragma once

// A plug-in with three parameters on the recording test adaptor, a headless editor attached to
// it, and bitmaps made in memory whose frames are told apart by colour.

#include <memory>
#include <vector>

#include "FourCC.h"
#include "IGraphicsHeadless.h"
#include "LiceBitmap.h"
#include "PlugAdaptor.h"

class EditorPlug : public PlugAdaptor {
public:
  enum { kKnob, kSelector, kSwitch, kParams };
  EditorPlug()
      : PlugAdaptor(kParams, "1-1", 1, "Editor", "", "Maker", 0x10000, FourCC("Test"),
                    FourCC("Mkr_"), false, false) {
    GetParam(kKnob)->DefineDouble("Knob", 0.5, 0.0, 1.0, 0.01);
    GetParam(kSelector)->DefineInt("Selector", 0, 0, 8);
    GetParam(kSwitch)->DefineInt("Switch", 0, 0, 1);
    GetParam(kSwitch)->SetDisplayText(0, "off");
    GetParam(kSwitch)->SetDisplayText(1, "on");
  }
};

// The knob behaviour without a drawing of its own.
class TestKnob : public IKnobControl {
public:
  using IKnobControl::IKnobControl;
  bool Draw(IGraphics*) override { return true; }
};

// Frame k of a strip is filled with FrameColour(k).
inline LICE_PixelWord FrameColour(int k) {
  return 0xFF000000u | LICE_PixelWord(10 + k * 3);
}

inline std::unique_ptr<LICE_MemBitmap> MakeStrip(int width, int frameHeight, int frames) {
  auto bitmap = std::make_unique<LICE_MemBitmap>();
  bitmap->Resize(width, frameHeight * frames);
  for (int y = 0; y < frameHeight * frames; ++y)
    for (int x = 0; x < width; ++x)
      bitmap->PixelData()[y * bitmap->RowSpan() + x] = FrameColour(y / frameHeight);
  return bitmap;
}

inline IBitmapHandle HandleOf(LICE_IBitmap* bitmap, int frames) {
  return {bitmap, bitmap->Width(), bitmap->Height(), frames, false};
}

inline LICE_PixelWord PixelAt(LICE_IBitmap* bitmap, int x, int y) {
  return bitmap->PixelData()[y * bitmap->RowSpan() + x];
}

using Call = TestAdaptor::HostCall;

// The kinds of what the plug-in told the host, in order.
inline std::vector<Call::Kind> Kinds(const std::vector<Call>& calls) {
  std::vector<Call::Kind> kinds;
  for (const Call& c : calls) kinds.push_back(c.kind);
  return kinds;
}

// The plug-in with an attached headless editor the test fills.
struct Editor {
  EditorPlug plug;
  IGraphicsHeadless* graphics;
  Editor() : graphics(new IGraphicsHeadless(&plug, 200, 100, 25)) { plug.AttachGraphics(graphics); }
  // Attaches a control and pushes the parameters into it as attaching the editor does.
  template <class Control>
  Control* Add(Control* control) {
    graphics->AttachControl(control);
    plug.RedrawParamControls();
    return control;
  }
  std::vector<TestAdaptor::HostCall> TakeCalls() {
    std::vector<TestAdaptor::HostCall> calls;
    calls.swap(plug.hostCalls);
    return calls;
  }
};
