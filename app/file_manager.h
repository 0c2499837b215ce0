#pragma once
// Shows a file in the desktop's file manager.

#include <filesystem>

namespace tessaly {

namespace FileManager {

// The file manager with the file selected, through the freedesktop file-manager interface;
// the file's folder when no file manager answers it.
void reveal(const std::filesystem::path& file);

}  // namespace FileManager

}  // namespace tessaly
