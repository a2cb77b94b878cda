#pragma once

#include <cstdint>

// A four-character code as a 32-bit value: the first character is the most significant byte,
// so FourCC("Brm1") == 0x42726D31 on every platform. code holds at least four characters.
constexpr uint32_t FourCC(const char* code) {
  return (uint32_t(uint8_t(code[0])) << 24) | (uint32_t(uint8_t(code[1])) << 16) |
         (uint32_t(uint8_t(code[2])) << 8) | uint32_t(uint8_t(code[3]));
}

static_assert(FourCC("Brm1") == 0x42726D31u);
static_assert(FourCC("Kwil") == 0x4B77696Cu);
