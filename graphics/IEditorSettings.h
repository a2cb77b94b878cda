// The editor size the user chose last, kept for that user in a small file of its own so that it
// reaches every editor opened afterwards, in any instance and any host. The plug-in's state does
// not carry it.
#pragma once

#include <cstdint>
#include <string>

// The sizes the editor offers, in percent of its drawn size.
inline constexpr int32_t kEditorSizes[] = {75, 100, 125, 150, 175, 200};
inline constexpr int32_t kDefaultEditorSize = 100;
// The file inside the settings folder: lines such as "editor-size=150".
inline constexpr char kEditorSettingsFile[] = "settings.ini";

bool IsEditorSize(int32_t percent) noexcept;

// The size remembered in folder (UTF-8), or kDefaultEditorSize when there is none to be had: no
// folder, no file, or a file that does not name an offered size.
int32_t ReadEditorSize(const std::string& folder) noexcept;

// Remembers percent in folder, creating the folder when needed. A reader never sees a partial
// file, and of writers racing each other the last one wins. False, with the previous file left as
// it was, for a size not offered, an empty folder or any failure.
bool WriteEditorSize(const std::string& folder, int32_t percent) noexcept;

// This user's settings folder (UTF-8), or "" when the platform names none (nothing is then
// remembered). Defined by each native platform library (the graphics object's SettingsFolder
// answers it); headless editors use the folder a test sets on them.
std::string EditorSettingsFolder() noexcept;
