#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "IParamDef.h"
#include "StateChunk.h"

class IGraphics;

// A legal (inputs, outputs) channel configuration. A channel specification token asking for more
// than kMaxChannels on either side reads as malformed, (0, 0).
constexpr int32_t kMaxChannels = 256;
struct IChannelPair {
  int32_t inputs = 0;
  int32_t outputs = 0;
};

// Per-channel state. slot is this channel's entry in the base's pointer array: it points at the
// host's buffer (64-bit processing) or at scratch. A channel whose slot points at its own scratch
// buffer is parked: the plug-in can read and write it and nothing from the host reaches it.
struct IInputChannel {
  bool connected = false;
  double** slot = nullptr;
  std::vector<double> scratch;
};

struct IOutputChannel {
  bool connected = false;
  double** slot = nullptr;
  float* destination = nullptr;  // host buffer of the current 32-bit block, or null
  std::vector<double> scratch;
};

// Delay line of the bypass path: length samples per channel, channel after channel.
struct ILatencyDelay {
  std::vector<double> buffer;
  int32_t writePosition = 0;
  int32_t channelCount = 0;
  int32_t outputChannelCount = 0;
  int32_t length = 0;
};

struct IMidiMessage {
  int32_t offset = 0;  // frame within the block
  uint8_t status = 0;
  uint8_t data1 = 0;
  uint8_t data2 = 0;
};

// Host transport, filled by the adaptor.
struct ITimeInfo {
  double tempo = 0.0;
  double samplePos = 0.0;
  double ppqPos = 0.0;
  double lastBarPos = 0.0;
  double cycleStart = 0.0;
  double cycleEnd = 0.0;
  int32_t numerator = 0;
  int32_t denominator = 0;
  bool transportIsRunning = false;
  bool transportLoopEnabled = false;
};

// The host-neutral heart of a plug-in instance: parameters, presets, the channel model with its
// scratch buffers, identity, host facts and the plug-in lock. A host adaptor derives from it and
// implements the abstract host-facing operations; the plug-in class derives from the adaptor and
// overrides the processing hooks.
//
// Thread tags on each operation: [main] the host's main (user-interface) thread, [audio] the host's
// audio thread, [any] either.
//
// Threads: the adaptor's processing call holds the lock for a whole block; state saving and
// loading, SetParamFromEditor (never while it calls the host) and AttachGraphics take it too, so
// OnParamChanged and ProcessBlock never overlap when reached through those paths. The lock is
// recursive: OnParamChanged may take it again. Block plumbing (Attach*, ConvertOutputs32,
// PassThroughBuffers, ClearScratchBuffers) runs on the audio thread under the lock and allocates
// nothing.
//
// Frames: scratch buffers hold exactly blockSize samples. Every plumbing operation handles at most
// blockSize frames of whatever count it is handed (and none before SetBlockSize); an adaptor that
// receives longer host blocks must process them in pieces of at most blockSize frames.
class IPlugBase {
public:
  using Mutex = std::recursive_mutex;
  using LockGuard = std::lock_guard<std::recursive_mutex>;

  // channelSpec is a list of "in-out" tokens separated by single spaces, such as "1-1 2-2".
  IPlugBase(int32_t paramCount, const char* channelSpec, int32_t presetCount,
            const char* effectName, const char* productName, const char* makerName,
            int32_t versionCode, uint32_t uniqueCode, uint32_t makerCode, int32_t apiCode,
            bool instrumentMode, bool receivesMidi);
  IPlugBase(const IPlugBase&) = delete;
  IPlugBase& operator=(const IPlugBase&) = delete;

  // ---- Virtual operations, in their fixed order ----
  virtual ~IPlugBase();  // [main]
  virtual void Reset();  // [main] default: takes and releases the lock
  virtual void OnParamChanged(
      int32_t paramIdx);  // [any] under the lock; default: takes and releases it
  // [audio] under the lock. Default: copies inputs to outputs and zeroes outputs without an input
  // (at most blockSize frames).
  virtual void ProcessBlock(double** inputs, double** outputs, int32_t frames);
  virtual void OnEditorOpened() {}  // [main]
  virtual void OnEditorClosed() {}  // [main]
  virtual void UnusedHook6() {}
  virtual void OnActivated(bool active);  // [main] default: takes and releases the lock
  virtual void ProcessMidiMessage(IMidiMessage* message) { SendMidiMessage(message); }  // [audio]
  virtual void UnusedHook9() {}
  virtual bool UnusedTextQuery10(int32_t index, char* text);
  virtual bool SerializeParams(StateChunk* chunk);  // [any] takes the lock
  virtual int32_t UnserializeParams(const StateChunk* chunk,
                                    int32_t startPos);  // [any] takes the lock
  // True when every parameter equals the image's double at element startPos + i, compared in single
  // precision; false when the image is too short.
  virtual bool MatchesState(const StateChunk* image, int32_t startPos);  // [any]
  virtual void OnEditorResized() {}                                      // [main]
  virtual bool UnusedQuery15() { return false; }
  virtual void OnHostIdentified() {}  // [main]
  // The host's menu for a parameter at (x, y) in device pixels of the editor; false when the host
  // has none to show.
  virtual bool ShowHostContextMenu(int32_t /*paramIdx*/, int32_t /*x*/, int32_t /*y*/) {  // [main]
    return false;
  }
  // [main] Sets the value and tells the plug-in under the lock, then the host with it released.
  virtual void SetParamFromEditor(int32_t paramIdx, double normalized);
  // [main] What the plug-in tells the host: edit gestures and values, program changes. Never
  // called with the lock held: a host may block in them on its own audio thread.
  virtual void BeginParamGesture(int32_t paramIdx) = 0;
  virtual void SendParamToHost(int32_t paramIdx, double normalized) = 0;
  virtual void EndParamGesture(int32_t paramIdx) = 0;
  virtual void SendProgramChangeToHost() = 0;
  // [audio] What the host said in the current processing call (meaningful during ProcessBlock).
  virtual bool IsOfflineRender() { return false; }
  virtual int32_t HostSamplePosition() = 0;
  virtual double HostTempo() = 0;
  virtual void HostTimeSignature(int32_t* numerator, int32_t* denominator) = 0;
  virtual void HostTransport(ITimeInfo* info) = 0;
  virtual int32_t GetHostCode() { return hostCode; }             // [any]
  virtual int32_t GetApiCode() { return apiCode; }               // [any]
  virtual void ResizeEditor(int32_t width, int32_t height) = 0;  // [main]
  virtual void UnusedHook31() {}
  // Pushes every parameter into the controls bound to it and takes ownership of graphics (null:
  // nothing happens).
  virtual void AttachGraphics(IGraphics* graphics);         // [main] takes the lock
  virtual void SetLatency(int32_t samples);                 // [main] takes the lock
  virtual bool SendMidiMessage(IMidiMessage* message) = 0;  // [audio]
  virtual bool UnusedQuery35() { return false; }
  virtual void RedrawParamControls();  // [any] under the lock
  virtual void UnusedHook37() {}
  virtual void OnPresetRestored() {}          // [any] under the lock
  virtual void SetBlockSize(int32_t frames);  // [main] under the lock
  // [main] Reference counting for the editor's window-system callbacks: the host may release its
  // last reference from inside one (in a parameter edit, say), so each callback holds one of its
  // own. Release may delete the plug-in, and with it the editor: the caller touches neither after
  // it. The default (a plug-in without reference counting) does nothing.
  virtual void AddEditorCallbackRef() {}
  virtual void ReleaseEditorCallbackRef() {}

  // ---- Lock [any] ----
  Mutex& GetLock() { return lock; }

  // ---- Parameters [any]: the records are fixed after construction ----
  IParamDef* GetParam(int32_t index);
  const IParamDef* GetParam(int32_t index) const;
  int32_t ParamCount() const { return int32_t(params.size()); }

  // ---- Presets [main], under the lock (restoring also from the processing call, [audio]) ----
  void MakeDefaultPreset(const char* name);
  bool RestorePreset(int32_t index);
  int32_t PresetCount() const { return int32_t(presets.size()); }
  const char* GetPresetName(int32_t index) const;  // "" when index is out of range
  int32_t GetCurrentPreset() const { return currentPreset; }

  // ---- Channels [any]: fixed after construction; connections change under the lock ----
  bool LegalIO(int32_t inputs, int32_t outputs) const;  // a negative count matches any
  int32_t NLegalIO() const { return int32_t(legalIO.size()); }
  IChannelPair GetLegalIO(int32_t index) const;
  int32_t InputChannelCount() const { return int32_t(inputChannels.size()); }
  int32_t OutputChannelCount() const { return int32_t(outputChannels.size()); }
  bool IsInputConnected(int32_t index) const;
  bool IsOutputConnected(int32_t index) const;

  // ---- Block plumbing (audio thread, under the lock) ----
  // Channels first .. min(first + count, channel count) - 1 are walked; an unconnected channel is
  // skipped and consumes no host buffer, a connected one takes the next buffer. A null host buffer
  // (or buffer array) parks the channel instead, on zeros for an input.
  void AttachInputs32(int32_t first, int32_t count, const float* const* buffers, int32_t frames);
  void AttachInputs64(int32_t count, double* const* buffers) { AttachInputs64(0, count, buffers); }
  void AttachInputs64(int32_t first, int32_t count, double* const* buffers);
  void AttachOutputs32(int32_t first, int32_t count, float* const* buffers);
  void AttachOutputs64(int32_t count, double* const* buffers) {
    AttachOutputs64(0, count, buffers);
  }
  void AttachOutputs64(int32_t first, int32_t count, double* const* buffers);
  void ConvertOutputs32(int32_t frames);
  void PassThroughBuffers(int32_t frames);
  void ClearScratchBuffers();
  // What ProcessBlock receives: one pointer per channel, or null when there are no channels.
  double** InputPointers() { return inputPointers.empty() ? nullptr : inputPointers.data(); }
  double** OutputPointers() { return outputPointers.empty() ? nullptr : outputPointers.data(); }

  // ---- Host facts and identity [any] ----
  void SetSampleRate(double hz) { sampleRate = hz; }
  double GetSampleRate() const { return sampleRate; }
  int32_t GetBlockSize() const { return blockSize; }
  int32_t GetLatency() const { return latency; }
  int32_t GetTailSize() const { return tailSize; }
  bool IsBypassed() const { return bypassed.load(std::memory_order_relaxed); }
  const char* GetEffectName() const { return effectName; }
  const char* GetProductName() const { return productName; }
  const char* GetMakerName() const { return makerName; }
  uint32_t GetUniqueCode() const { return uniqueCode; }
  uint32_t GetMakerCode() const { return makerCode; }
  int32_t GetVersionCode() const { return versionCode; }
  int32_t GetHostVersion() const { return hostVersion; }
  bool IsInstrument() const { return instrumentMode; }
  bool ReceivesMidi() const { return receivesMidi; }
  IGraphics* GetGraphics() { return graphics; }

  // ---- For the host adaptor [main], before processing or under the lock ----
  // Connecting only sets the flag; disconnecting parks the channel on its scratch buffer.
  void SetInputConnected(int32_t index, bool connected);
  void SetOutputConnected(int32_t index, bool connected);
  // Creates the bypass delay line (no effect when it exists or there are no inputs).
  void CreateLatencyDelay();
  bool HasLatencyDelay() const { return latencyDelay != nullptr; }
  void SetBypassed(bool bypass) { bypassed.store(bypass, std::memory_order_relaxed); }
  void SetHostCode(int32_t code) { hostCode = code; }
  void SetHostVersion(int32_t version) { hostVersion = version; }
  void SetTailSize(int32_t samples) { tailSize = samples; }
  std::vector<const char*>& UnitGroups() { return unitGroups; }
  std::vector<std::string>& InputBusNames() { return inputBusNames; }
  std::vector<std::string>& OutputBusNames() { return outputBusNames; }

private:
  void ParseChannelSpec(const char* channelSpec);
  int32_t ClampFrames(int32_t frames) const;
  void CopyInputsToOutputs(double** inputs, double** outputs, int32_t frames);

  std::vector<IChannelPair> legalIO;
  Mutex lock;
  char effectName[128] = {};
  char productName[128] = {};
  char makerName[128] = {};
  uint32_t uniqueCode = 0;
  uint32_t makerCode = 0;
  int32_t versionCode = 0;
  int32_t apiCode = 0;
  int32_t hostCode = -1;
  int32_t hostVersion = 0;
  bool instrumentMode = false;
  bool receivesMidi = false;
  std::atomic<bool> bypassed{false};
  int32_t currentPreset = 0;
  double sampleRate = 44100.0;
  int32_t blockSize = 0;
  int32_t latency = 0;
  int32_t tailSize = 0;
  std::unique_ptr<ILatencyDelay> latencyDelay;
  std::vector<const char*> unitGroups;
  IGraphics* graphics = nullptr;
  std::vector<std::unique_ptr<IParamDef>> params;
  std::vector<std::unique_ptr<IPreset>> presets;
  std::vector<double*> inputPointers;
  std::vector<double*> outputPointers;
  std::vector<IInputChannel> inputChannels;
  std::vector<IOutputChannel> outputChannels;
  std::vector<std::string> inputBusNames;
  std::vector<std::string> outputBusNames;
};
