// Headless editors remember nothing: tests name their folders themselves.
#include "IEditorSettings.h"

std::string EditorSettingsFolder() noexcept {
  return {};
}
