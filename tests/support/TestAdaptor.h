#pragma once

// A host adaptor for tests: a concrete IPlugBase with the VST3 adaptor's construction and its block
// driver (the shipped processing path), that records what the plug-in tells the host and runs
// blocks of 32- or 64-bit audio without a host.

#include <cstdint>
#include <vector>

#include "IBlockDriver.h"
#include "IPlugBase.h"

class TestAdaptor : public IPlugBase {
public:
  // What the plug-in told the host, in order.
  struct HostCall {
    enum Kind { BeginGesture, SendParam, EndGesture, ProgramChange, ResizeEditor, ContextMenu };
    Kind kind;
    int32_t paramIdx;  // width for ResizeEditor
    double value;      // normalised value for SendParam, height for ResizeEditor, x for ContextMenu
  };

  // Passes apiCode 1, marks every channel connected and creates the latency delay when there are
  // inputs.
  TestAdaptor(int32_t paramCount, const char* channelSpec, int32_t presetCount,
              const char* effectName, const char* productName, const char* makerName,
              int32_t versionCode, uint32_t uniqueCode, uint32_t makerCode, bool instrumentMode,
              bool receivesMidi);

  // ---- Host-facing operations (recorded) ----
  void BeginParamGesture(int32_t paramIdx) override;
  void SendParamToHost(int32_t paramIdx, double normalized) override;
  void EndParamGesture(int32_t paramIdx) override;
  void SendProgramChangeToHost() override;
  bool IsOfflineRender() override { return offline; }
  int32_t HostSamplePosition() override { return int32_t(int64_t(timeInfo.samplePos)); }
  double HostTempo() override { return timeInfo.tempo; }
  void HostTimeSignature(int32_t* numerator, int32_t* denominator) override;
  void HostTransport(ITimeInfo* info) override;
  void ResizeEditor(int32_t width, int32_t height) override;
  bool ShowHostContextMenu(int32_t paramIdx, int32_t x, int32_t y) override;
  bool SendMidiMessage(IMidiMessage* message) override;

  // ---- Test host ----
  // [main] Identifies the host by name (null: not identified) and announces it, as initialisation
  // does; then restores preset 0 under the lock.
  void Initialize(const char* hostName = nullptr);
  // [main] SetSampleRate, SetBlockSize, Reset under the lock: what setting up processing does.
  void SetupProcessing(double sampleRate, int32_t maxFrames);

  // [audio] One processing call through the block driver: one input bus of nIn channels and one
  // output bus of nOut channels. Before SetupProcessing the block size is set to frames.
  void RunBlock32(const float* const* inputs, int32_t nIn, float* const* outputs, int32_t nOut,
                  int32_t frames);
  void RunBlock64(double* const* inputs, int32_t nIn, double* const* outputs, int32_t nOut,
                  int32_t frames);

  std::vector<HostCall> hostCalls;
  std::vector<IMidiMessage> sentMidi;
  ITimeInfo timeInfo;
  bool offline = false;

private:
  void Run(IBlockBus in, IBlockBus out, bool is64, int32_t frames);

  IBlockDriver driver{*this};
};
