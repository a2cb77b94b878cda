#include "IBlockDriver.h"

#include <algorithm>

#include "IPlugBase.h"

#if defined(__SSE2__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define BRIMO_HAS_MXCSR 1
#endif

IScopedFlushToZero::IScopedFlushToZero() {
#if defined(BRIMO_HAS_MXCSR)
  saved = _mm_getcsr();
  _mm_setcsr(saved | 0x8040u);  // FTZ (bit 15) and DAZ (bit 6)
#endif
}

IScopedFlushToZero::~IScopedFlushToZero() {
#if defined(BRIMO_HAS_MXCSR)
  _mm_setcsr(saved);
#endif
}

IBlockDriver::IBlockDriver(IPlugBase& plug) : plug(plug) {
  for (int32_t i = 0; i < plug.InputChannelCount(); ++i) plug.SetInputConnected(i, true);
  for (int32_t i = 0; i < plug.OutputChannelCount(); ++i) plug.SetOutputConnected(i, true);
  plug.CreateLatencyDelay();  // nothing without inputs
  pieceIn32.resize(size_t(plug.InputChannelCount()));
  pieceIn64.resize(size_t(plug.InputChannelCount()));
  pieceOut32.resize(size_t(plug.OutputChannelCount()));
  pieceOut64.resize(size_t(plug.OutputChannelCount()));
}

void IBlockDriver::SetSidechainChannels(int32_t channels) {
  sidechainChannels = std::clamp(channels, 0, std::min(2, plug.InputChannelCount()));
}

void IBlockDriver::Process(const IBlockBus* inputs, int32_t numInputs, const IBlockBus* outputs,
                           int32_t numOutputs, bool is64, int32_t frames) {
  IPlugBase::LockGuard guard(plug.GetLock());
  IScopedFlushToZero flush;
  if (!inputs) numInputs = 0;
  if (!outputs) numOutputs = 0;
  if (frames <= 0) return;
  if (plug.GetBlockSize() <= 0) {
    // Not set up: nothing to process with, so the host hears silence.
    Silence(outputs, numOutputs, is64, frames);
    return;
  }
  ConnectInputs(inputs, numInputs);
  ConnectOutputs(outputs, numOutputs);
  // Blocks longer than the set-up maximum are processed in pieces that fit the scratch buffers.
  const int32_t piece = plug.GetBlockSize();
  for (int32_t offset = 0; offset < frames; offset += piece)
    RunPiece(inputs, numInputs, outputs, numOutputs, is64, offset,
             std::min(piece, frames - offset));
}

void IBlockDriver::ConnectInputs(const IBlockBus* inputs, int32_t numInputs) {
  const int32_t count = plug.InputChannelCount();
  if (count == 0) return;
  if (numInputs < 1) {
    // No input bus in this call: park every input so no slot keeps a previous call's buffer.
    for (int32_t i = 0; i < count; ++i) plug.SetInputConnected(i, false);
    return;
  }
  const int32_t hostChannels = std::max<int32_t>(inputs[0].channels, 0);
  if (sidechainChannels == 0) {
    for (int32_t i = 0; i < count; ++i) plug.SetInputConnected(i, i < hostChannels);
    return;
  }
  const bool auxActive = numInputs > 1 && inputs[1].active;
  if (auxActive)
    sidechainActive = true;
  else if (sidechainActive) {
    plug.ClearScratchBuffers();
    sidechainActive = false;
  }
  for (int32_t i = 0; i < count; ++i) plug.SetInputConnected(i, true);
  if (!auxActive)
    for (int32_t i = hostChannels; i < count - sidechainChannels; ++i)
      plug.SetInputConnected(i, false);
}

void IBlockDriver::ConnectOutputs(const IBlockBus* outputs, int32_t numOutputs) {
  const int32_t count = plug.OutputChannelCount();
  for (int32_t i = 0; i < count; ++i) plug.SetOutputConnected(i, false);
  int32_t first = 0;
  for (int32_t b = 0; b < numOutputs && first < count; ++b) {
    const int32_t channels = std::max<int32_t>(outputs[b].channels, 0);
    for (int32_t i = first; i < std::min(first + channels, count); ++i)
      plug.SetOutputConnected(i, outputs[b].active);
    first += channels;
  }
}

void IBlockDriver::AttachInputBus(const IBlockBus& bus, bool is64, int32_t first, int32_t count,
                                  int32_t offset, int32_t frames) {
  // Every one of the count pointers is written: channels the host did not send read as silence,
  // never as a pointer left over from an earlier call.
  const int32_t n = std::min(std::max<int32_t>(bus.channels, 0), count);
  if (is64) {
    double* const* src = bus.buffers64;
    for (int32_t k = 0; k < count; ++k)
      pieceIn64[size_t(k)] = k < n && src && src[k] ? src[k] + offset : nullptr;
    plug.AttachInputs64(first, count, src ? pieceIn64.data() : nullptr);
  } else {
    float* const* src = bus.buffers32;
    for (int32_t k = 0; k < count; ++k)
      pieceIn32[size_t(k)] = k < n && src && src[k] ? src[k] + offset : nullptr;
    plug.AttachInputs32(first, count, src ? pieceIn32.data() : nullptr, frames);
  }
}

void IBlockDriver::RunPiece(const IBlockBus* inputs, int32_t numInputs, const IBlockBus* outputs,
                            int32_t numOutputs, bool is64, int32_t offset, int32_t frames) {
  const int32_t inCount = plug.InputChannelCount();
  if (numInputs >= 1 && inCount > 0) {
    AttachInputBus(inputs[0], is64, 0, inCount - sidechainChannels, offset, frames);
    if (sidechainChannels > 0 && numInputs > 1)
      AttachInputBus(inputs[1], is64, inCount - sidechainChannels, sidechainChannels, offset,
                     frames);
  }

  int32_t first = 0;
  const int32_t outCount = plug.OutputChannelCount();
  for (int32_t b = 0; b < numOutputs && first < outCount; ++b) {
    const IBlockBus& bus = outputs[b];
    const int32_t channels = std::max<int32_t>(bus.channels, 0);
    const int32_t n = std::min(channels, outCount - first);
    if (is64) {
      double* const* dst = bus.buffers64;
      for (int32_t k = 0; k < n; ++k)
        pieceOut64[size_t(k)] = dst && dst[k] ? dst[k] + offset : nullptr;
      plug.AttachOutputs64(first, channels, dst ? pieceOut64.data() : nullptr);
    } else {
      float* const* dst = bus.buffers32;
      for (int32_t k = 0; k < n; ++k)
        pieceOut32[size_t(k)] = dst && dst[k] ? dst[k] + offset : nullptr;
      plug.AttachOutputs32(first, channels, dst ? pieceOut32.data() : nullptr);
    }
    first += channels;
  }

  if (plug.IsBypassed())
    plug.PassThroughBuffers(frames);
  else
    plug.ProcessBlock(plug.InputPointers(), plug.OutputPointers(), frames);
  if (!is64) plug.ConvertOutputs32(frames);
}

void IBlockDriver::Silence(const IBlockBus* outputs, int32_t numOutputs, bool is64,
                           int32_t frames) {
  for (int32_t b = 0; b < numOutputs; ++b) {
    const IBlockBus& bus = outputs[b];
    for (int32_t c = 0; c < bus.channels; ++c) {
      if (is64 && bus.buffers64 && bus.buffers64[c])
        std::fill_n(bus.buffers64[c], frames, 0.0);
      else if (!is64 && bus.buffers32 && bus.buffers32[c])
        std::fill_n(bus.buffers32[c], frames, 0.0f);
    }
  }
}
