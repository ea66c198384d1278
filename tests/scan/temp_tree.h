// A scratch folder tree for scanner tests, removed again at the end of each test.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

namespace scantest {

class TempTree {
 public:
  TempTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantorel-scan-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    root_ = pattern;
  }
  ~TempTree() {
    // Folders a test locked must be opened again, or they cannot be removed.
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(
             root_, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec)) chmod(it->path().c_str(), 0700);
    }
    chmod(root_.c_str(), 0700);
    std::filesystem::remove_all(root_, ec);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::string path(const std::string& relative = "") const { return (root_ / relative).string(); }

  void dir(const std::string& relative) const { std::filesystem::create_directories(root_ / relative); }
  void file(const std::string& relative, const std::string& content = "x") const {
    std::filesystem::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << content;
  }

 private:
  std::filesystem::path root_;
};

}  // namespace scantest
