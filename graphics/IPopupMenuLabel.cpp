#include "IPopupMenuLabel.h"

#include <cstdio>

std::string PopupItemLabel(const IPopupMenu& menu, size_t index) {
  if (index >= menu.items.size()) return {};
  const std::string& text = menu.items[index].text;
  const char* format = menu.numbering == 1   ? "%1d: %s"
                       : menu.numbering == 2 ? "%02d: %s"
                       : menu.numbering == 3 ? "%03d: %s"
                                             : nullptr;
  if (!format) return text;
  const int n = std::snprintf(nullptr, 0, format, int(index + 1), text.c_str());
  if (n <= 0) return text;
  std::string label(size_t(n), '\0');
  std::snprintf(label.data(), label.size() + 1, format, int(index + 1), text.c_str());
  return label;
}
