// BRIMO, the equaliser plug-in: its identity, the thirteen parameters, the internal values that
// mirror the knobs for the signal path, and the hooks the plug-in base calls.
//
// It uses only the plug-in base, the parameter model and the presets, so it sits unchanged on any
// host adaptor: "PlugAdaptor.h" comes from the adaptor this library is built against.
//
// Threads: OnParamChanged, Reset and ProcessBlock take the plug-in lock (recursive), so a
// parameter change never lands inside a block.
#pragma once

#include "EqualiserChain.h"
#include "PlugAdaptor.h"

#include <cstdint>

class BRIMO : public PlugAdaptor {
public:
  // Parameter indices. 0 is never read and hidden from hosts; 11 and 12 are the editor's two
  // switches.
  enum Param : int32_t {
    kUnused = 0,
    kLowBoost,           // -1 (off) .. 0 (full boost)
    kMidBoost,           // 0.001 .. 1
    kMidCut,             // 0 .. 1
    kOutput,             // -15 .. 15 dB
    kHighBoost,          // 0 .. 8
    kHighCut,            // 0 .. 2
    kLowCut,             // 0 .. 5
    kLowFrequency,       // 0 .. 3
    kMidBoostFrequency,  // 0 .. 7
    kMidCutFrequency,    // 0 .. 7
    kOversampling,       // 0: 4x, 1: 16x
    kBypass,             // 1: dry input at the output
    kNumParams
  };

  // The editor: a fixed panel, redrawn at most this many times per second.
  static constexpr int32_t kEditorWidth = 790;
  static constexpr int32_t kEditorHeight = 249;
  static constexpr int32_t kEditorFps = 25;
  // Every editor image is compiled in a second time at twice the width and height, under its id
  // plus this (resources/CMakeLists.txt, BRIMO_IMAGE_2X_ID_OFFSET), where the graphics object
  // looks for it.
  static constexpr int32_t kImage2xIdOffset = 100;
  // Clicking the product name on the panel opens this page.
  static constexpr const char* kProductPageUrl = "https://www.kwillowaudiolab.com/brimo";

  BRIMO();

  void Reset() override;
  void OnParamChanged(int32_t paramIdx) override;
  void ProcessBlock(double** inputs, double** outputs, int32_t frames) override;

  // The internal values as the signal path sees them.
  double LowBoostValue() const { return lowBoostValue; }
  double MidBoostValue() const { return midBoostValue; }
  double MidCutValue() const { return midCutValue; }
  double OutputGain() const { return outputGain; }
  int32_t OversampleFactor() const { return oversampleFactor; }
  const brimo::EqualiserChain& Chain() const { return chain; }

  // What ProcessBlock hands the chain: the internal values and the selectors' current positions.
  brimo::EqualiserSettings CurrentSettings() const;

private:
  // Builds the editor's controls and hands the editor to the base.
  void AttachEditor();

  // Until the first announcement (restoring preset 0 during initialisation announces every
  // parameter) these hold their initial values, not the declared defaults.
  double lowBoostValue = 0.0;
  double midBoostValue = 0.0;
  double midCutValue = 0.0;
  double outputGain = 0.0;
  int32_t oversampleFactor = 4;
  brimo::EqualiserChain chain;
};
