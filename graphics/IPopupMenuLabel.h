#pragma once

// How a popup menu labels its items, the same on every platform.

#include <cstddef>
#include <string>

#include "IGraphicsRecords.h"

// The text of item index of menu as the menu shows it: numbered from 1 when the menu asks for
// numbering (separators take a number too); empty for an index past the end.
std::string PopupItemLabel(const IPopupMenu& menu, size_t index);
