#include "StateChunk.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "IParamDef.h"

StateChunk::~StateChunk() {
  std::free(bytes);
}

StateChunk::StateChunk(StateChunk&& other) noexcept
    : bytes(std::exchange(other.bytes, nullptr)),
      capacity(std::exchange(other.capacity, 0)),
      size(std::exchange(other.size, 0)),
      granularity(other.granularity) {}

StateChunk& StateChunk::operator=(StateChunk&& other) noexcept {
  if (this != &other) {
    std::free(bytes);
    bytes = std::exchange(other.bytes, nullptr);
    capacity = std::exchange(other.capacity, 0);
    size = std::exchange(other.size, 0);
    granularity = other.granularity;
  }
  return *this;
}

uint8_t* StateChunk::Resize(int32_t newSize, bool allowShrink) {
  const int64_t n = std::max<int32_t>(newSize, 0);
  if (n == size) return bytes;

  int64_t shrinkThreshold = 0;
  if (allowShrink && n < size)
    shrinkThreshold = std::max<int64_t>(
        1, std::min<int64_t>(capacity / 2, int64_t(capacity) - 4 * int64_t(granularity)));

  if (capacity < n || n < shrinkThreshold) {
    // 64-bit arithmetic: near the int32 limit the rule's sums overflow; such a request fails.
    int64_t newCapacity = 0;
    if (n > 0) {
      if (granularity >= 4096) {
        int64_t extra = std::max<int64_t>(n / 2, granularity);
        extra = std::clamp<int64_t>(extra / 4096 * 4096, 4096, 4194304);
        newCapacity = (n + 96 + extra) / 4096 * 4096 - 96;
      } else
        newCapacity = n + std::max<int64_t>(n / 2, granularity);
    }
    if (newCapacity > std::numeric_limits<int32_t>::max()) return nullptr;

    if (newCapacity == 0) {
      std::free(bytes);
      bytes = nullptr;
    } else {
      void* grown = std::realloc(bytes, size_t(newCapacity));
      if (!grown) return nullptr;
      bytes = static_cast<uint8_t*>(grown);
    }
    capacity = int32_t(newCapacity);
  }
  size = int32_t(n);
  return bytes;
}

bool StateChunk::PutDouble(double v) {
  const int32_t pos = size;
  if (pos > std::numeric_limits<int32_t>::max() - 8) return false;
  if (!Resize(pos + 8) || size != pos + 8) return false;
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  for (int i = 0; i < 8; ++i) bytes[pos + i] = uint8_t(bits >> (8 * i));
  return true;
}

int32_t StateChunk::GetDouble(double& v, int32_t pos) const {
  if (pos < 0 || int64_t(pos) + 8 > size) return -1;
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i) bits |= uint64_t(bytes[pos + i]) << (8 * i);
  std::memcpy(&v, &bits, 8);
  return pos + 8;
}

IPreset::IPreset() {
  CopyTruncated(name, "empty", sizeof name);
}
