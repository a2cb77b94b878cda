#pragma once

#include <cstdint>

#include "FourCC.h"

// Who a plug-in is: what the framework, a host adaptor's factory and the bundle's metadata all
// report. A plug-in declares one constant of this type; nothing else repeats these values.
struct PluginIdentity {
  const char* name;         // effect and class name
  const char* productName;  // may be empty
  const char* vendor;
  const char* url;
  const char* email;
  const char* version;        // "major.minor.patch"
  const char* makerCode;      // four characters (FourCC)
  const char* uniqueCode;     // four characters (FourCC)
  const char* subCategories;  // host categories, '|'-separated
  uint32_t classIdWord1;      // first two words of the class identifier; the maker and unique
  uint32_t classIdWord2;      // codes make the last two
};

// 0xMMmmpppp-style version word from "major.minor.patch": major in bits 16 and up, minor in bits
// 8-15, patch in bits 0-7.
constexpr int32_t VersionCode(const char* version) {
  int32_t parts[3] = {0, 0, 0};
  int part = 0;
  for (const char* p = version; *p && part < 3; ++p) {
    if (*p == '.')
      ++part;
    else if (*p >= '0' && *p <= '9')
      parts[part] = parts[part] * 10 + (*p - '0');
  }
  return (parts[0] << 16) | ((parts[1] & 0xFF) << 8) | (parts[2] & 0xFF);
}

static_assert(VersionCode("2.0.0") == 0x00020000);
static_assert(VersionCode("1.12.3") == 0x00010C03);
