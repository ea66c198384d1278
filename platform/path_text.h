// Paths as UTF-8 text and back. On Windows a path's native form is UTF-16, while everything
// the engine shows, compares, stores or sends to a reader is UTF-8; on POSIX both are the
// path's bytes as they are, unchanged.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

inline std::string pathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

inline std::filesystem::path pathFromText(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace platform
