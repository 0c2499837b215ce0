#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tessaly {

namespace Pack {

// relPath for many files against one root, which is standardized once rather than per file.
class RelPaths {
  public:
    explicit RelPaths(const std::filesystem::path& root);
    std::string of(std::string_view file) const;

  private:
    std::string prefix_;  // the root with one trailing "/"
};

}  // namespace Pack

}  // namespace tessaly
