#pragma once

#include <cstdint>

// A growable byte buffer carrying parameter state and preset snapshots.
//
// Storage grows by the granularity rule of Resize, so appends are amortised constant time. Sizes
// are int32: a request whose size or capacity cannot be represented fails like an allocation
// failure, leaving the chunk as it was. Not thread-safe; the plug-in lock guards shared chunks.
class StateChunk {
public:
  explicit StateChunk(int32_t granularity = 4096) : granularity(granularity) {}
  ~StateChunk();
  StateChunk(const StateChunk&) = delete;
  StateChunk& operator=(const StateChunk&) = delete;
  StateChunk(StateChunk&& other) noexcept;
  StateChunk& operator=(StateChunk&& other) noexcept;

  // Sets the size to newSize (a negative size counts as 0), keeping the first min(old, new) bytes.
  // Returns the bytes; null when the chunk is now empty or when growing failed (then nothing
  // changed and Size() is still the old size).
  uint8_t* Resize(int32_t newSize, bool allowShrink = false);

  // Appends v as 8 little-endian IEEE-754 bytes; false (chunk unchanged) when it cannot grow.
  bool PutDouble(double v);

  // Reads the 8 bytes at pos into v and returns pos + 8; when they are not all inside the chunk
  // (or pos is negative) v is left alone and the result is -1.
  int32_t GetDouble(double& v, int32_t pos) const;

  int32_t Size() const { return size; }
  int32_t Capacity() const { return capacity; }
  int32_t Granularity() const { return granularity; }
  uint8_t* Bytes() { return bytes; }
  const uint8_t* Bytes() const { return bytes; }

private:
  uint8_t* bytes = nullptr;
  int32_t capacity = 0;
  int32_t size = 0;
  int32_t granularity = 4096;
};

// A preset: a named snapshot of the parameter values, captured once.
struct IPreset {
  IPreset();

  bool initialized = false;
  char name[256] = {};
  StateChunk chunk;
};
