#pragma once

#include <cstdint>
#include <vector>

class IPlugBase;

// One audio bus of one host processing call: how many channels the host sent and their buffers
// (the 32-bit or the 64-bit array, by the call's sample size). Any pointer may be null.
struct IBlockBus {
  int32_t channels = 0;
  float* const* buffers32 = nullptr;
  double* const* buffers64 = nullptr;
  bool active = true;  // an inactive output bus is neither written nor read
};

// Flush-to-zero and denormals-are-zero for one scope, so that neither the plug-in's arithmetic nor
// the narrowing of its doubles into a host's float buffers produces subnormals.
class IScopedFlushToZero {
public:
  IScopedFlushToZero();
  ~IScopedFlushToZero();
  IScopedFlushToZero(const IScopedFlushToZero&) = delete;
  IScopedFlushToZero& operator=(const IScopedFlushToZero&) = delete;

private:
  unsigned saved = 0;
};

// The host-neutral part of a processing call, shared by every host adaptor: it connects the
// plug-in's channels to the host's buses, runs the block in pieces that fit the scratch buffers
// (ProcessBlock, or the pass-through while bypassed), narrows 32-bit outputs back, and silences
// the outputs before processing is set up.
//
// Channel mapping: the first input bus feeds the first input channels; with a sidechain, a second
// input bus feeds the last SidechainChannels() input channels. Output buses feed the output
// channels in order. Input channels the host did not send read silence.
//
// Threads: Process runs on the audio thread and takes the plug-in lock (recursive) for the whole
// call; it allocates nothing. Construction and SetSidechainChannels happen before processing.
class IBlockDriver {
public:
  // Connects every channel of the plug-in and creates its bypass delay line, as every adaptor
  // does at construction.
  explicit IBlockDriver(IPlugBase& plug);

  // Number of input channels (at most 2) that belong to a sidechain bus.
  void SetSidechainChannels(int32_t channels);
  int32_t SidechainChannels() const { return sidechainChannels; }

  // [audio] One host block. is64 picks the buffer arrays; frames below 1 do nothing.
  void Process(const IBlockBus* inputs, int32_t numInputs, const IBlockBus* outputs,
               int32_t numOutputs, bool is64, int32_t frames);

private:
  void ConnectInputs(const IBlockBus* inputs, int32_t numInputs);
  void ConnectOutputs(const IBlockBus* outputs, int32_t numOutputs);
  void AttachInputBus(const IBlockBus& bus, bool is64, int32_t first, int32_t count, int32_t offset,
                      int32_t frames);
  void RunPiece(const IBlockBus* inputs, int32_t numInputs, const IBlockBus* outputs,
                int32_t numOutputs, bool is64, int32_t offset, int32_t frames);
  void Silence(const IBlockBus* outputs, int32_t numOutputs, bool is64, int32_t frames);

  IPlugBase& plug;
  int32_t sidechainChannels = 0;
  bool sidechainActive = false;
  // Offset buffer pointers for one piece of a block, sized at construction so that Process
  // allocates nothing.
  std::vector<const float*> pieceIn32;
  std::vector<float*> pieceOut32;
  std::vector<double*> pieceIn64;
  std::vector<double*> pieceOut64;
};
