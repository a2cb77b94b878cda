#pragma once

// A plug-in and an editor model for the framework tests: both record what the base does to them,
// in one shared log so that the order of calls can be checked.

#include <functional>
#include <string>
#include <vector>

#include "FourCC.h"
#include "IGraphicsHeadless.h"
#include "PlugAdaptor.h"

class TestPlug : public PlugAdaptor {
public:
  explicit TestPlug(int32_t paramCount = 13, const char* channelSpec = "1-1 2-2",
                    int32_t presetCount = 1)
      : PlugAdaptor(paramCount, channelSpec, presetCount, "BRIMO", "", "KwillowAudioLab", 0x20000,
                    FourCC("Brm1"), FourCC("Kwil"), false, false) {}

  void OnParamChanged(int32_t paramIdx) override {
    LockGuard guard(GetLock());  // re-entered: the framework already holds it on most paths
    log.push_back("changed " + std::to_string(paramIdx));
    if (onParamChanged) onParamChanged(paramIdx);
  }
  void OnPresetRestored() override { log.push_back("preset restored"); }

  std::vector<std::string> log;
  std::function<void(int32_t)> onParamChanged;
};

class FakeControl : public IControl {
public:
  FakeControl(IPlugBase* plugin, int32_t paramIdx, std::vector<std::string>* log,
              IGraphics* graphics)
      : IControl(plugin, IBox{}, paramIdx), log(log), graphics(graphics) {}
  bool Draw(IGraphics*) override { return true; }
  void SetValueFromPlugin(double value) override {
    values.push_back(value);
    if (log) log->push_back("control " + std::to_string(paramIndex));
    surfaceBeforePush = surfaceBeforePush || graphics->DrawSurface();
  }
  void SetAuxValueFromPlugin(int32_t position, double value) override {
    auxValues.push_back({position, value});
  }

  std::vector<double> values;
  std::vector<std::pair<int32_t, double>> auxValues;
  std::vector<std::string>* log;
  IGraphics* graphics;
  bool surfaceBeforePush = false;  // a value arrived when the drawing surface already existed
};

class FakeGraphics : public IGraphicsHeadless {
public:
  FakeGraphics(IPlugBase* plugin, std::vector<std::string>* log, bool* destroyed = nullptr)
      : IGraphicsHeadless(plugin, 790, 249, 25), log(log), destroyed(destroyed) {}
  ~FakeGraphics() override {
    if (destroyed) *destroyed = true;
  }

  FakeControl* Add(int32_t paramIdx) {
    auto* control = new FakeControl(plugin, paramIdx, log, this);
    AttachControl(control);
    return control;
  }

  std::vector<std::string>* log;
  bool* destroyed;
};
