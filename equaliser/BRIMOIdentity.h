// BRIMO's identity. The build also reads this file to write the bundle's moduleinfo.json: keep one
// `.field = value,` per line, strings in double quotes, numbers in hexadecimal.
#pragma once

#include "PluginIdentity.h"

inline constexpr PluginIdentity kBRIMOIdentity = {
    .name = "BRIMO",
    .productName = "",
    .vendor = "KwillowAudioLab",
    .url = "https://www.kwillowaudiolab.com",
    .email = "mailto:info@kwillowaudiolab.com",
    .version = "2.0.0",
    .makerCode = "Kwil",
    .uniqueCode = "Brm1",
    .subCategories = "Fx|EQ",
    .classIdWord1 = 0xF2AEE70D,
    .classIdWord2 = 0x00DE4F4E,
};
