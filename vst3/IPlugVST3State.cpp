// The state: the plug-in's chunk between the host's stream and the plug-in.
#include "IPlugVST3.h"

#include "pluginterfaces/base/ibstream.h"

#include <cstring>
#include <vector>

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// Reads up to n bytes, following streams that deliver less than asked per call; the count read.
int32 ReadFully(IBStream* stream, uint8_t* dst, int32 n) {
  int32 total = 0;
  while (total < n) {
    int32 got = 0;
    if (stream->read(dst + total, n - total, &got) != kResultOk || got <= 0) break;
    total += std::min(got, n - total);
  }
  return total;
}

// Writes n bytes, following streams that take less than offered per call. A stream that answers
// kResultOk without reporting a count is trusted to have taken everything.
bool WriteFully(IBStream* stream, const uint8_t* src, int32 n) {
  int32 total = 0;
  while (total < n) {
    int32 written = n - total;
    if (stream->write(const_cast<uint8_t*>(src + total), n - total, &written) != kResultOk ||
        written <= 0)
      return false;
    total += std::min(written, n - total);
  }
  return true;
}

}  // namespace

// Both state calls talk to the host's stream without the plug-in lock, so a slow stream never
// stalls the audio thread: the state is serialised into memory under the lock and written
// afterwards, or read into memory first and applied under the lock.

tresult PLUGIN_API IPlugVST3::getState(IBStream* stream) {
  if (stream == nullptr) return kInvalidArgument;
  try {
    StateChunk chunk(4096);
    {
      LockGuard guard(GetLock());
      if (!SerializeParams(&chunk)) return kResultFalse;
      // The bypass flag follows the values as a little-endian int32.
      const int32_t valuesSize = chunk.Size();
      uint8_t* bytes = chunk.Resize(valuesSize + 4);
      if (bytes == nullptr) return kResultFalse;
      const uint8_t bypass = IsBypassed() ? 1 : 0;
      const uint8_t word[4] = {bypass, 0, 0, 0};
      std::memcpy(bytes + valuesSize, word, 4);
    }
    // A stream that refuses the bytes is reported, so the host does not store a truncated state.
    return WriteFully(stream, chunk.Bytes(), chunk.Size()) ? kResultOk : kResultFalse;
  } catch (...) {
    return kOutOfMemory;
  }
}

tresult PLUGIN_API IPlugVST3::setState(IBStream* stream) {
  if (stream == nullptr) return kInvalidArgument;
  try {
    int32 valuesSize = 0;
    {
      LockGuard guard(GetLock());
      StateChunk current(4096);
      if (!SerializeParams(&current) || current.Size() == 0) return kResultFalse;
      valuesSize = current.Size();
    }
    std::vector<uint8_t> incoming(size_t(valuesSize) + 4);
    const int32 got = ReadFully(stream, incoming.data(), valuesSize);
    const bool bypassRead =
        got == valuesSize && ReadFully(stream, incoming.data() + valuesSize, 4) == 4;

    LockGuard guard(GetLock());
    // Pre-filled with the current values: whatever the stream does not deliver stays as it is.
    StateChunk chunk(4096);
    if (!SerializeParams(&chunk) || chunk.Size() != valuesSize) return kResultFalse;
    // Only whole values are taken: a value cut short by the end of the stream keeps its current
    // bytes rather than becoming a mixture of old and new ones.
    std::memcpy(chunk.Bytes(), incoming.data(), size_t(got - got % 8));
    UnserializeParams(&chunk, 0);
    if (!bypassRead) return kResultFalse;
    const uint8_t* word = incoming.data() + valuesSize;
    const uint32_t bypass = uint32_t(word[0]) | uint32_t(word[1]) << 8 | uint32_t(word[2]) << 16 |
                            uint32_t(word[3]) << 24;
    SetBypassed(bypass != 0);
    RedrawParamControls();
    return kResultOk;
  } catch (...) {
    return kOutOfMemory;
  }
}
