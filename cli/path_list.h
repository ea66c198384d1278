// The command line's list of message files, kept compactly: a store of millions of files
// shares a few thousand folders, so each file costs its name and two integers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

class PathList {
 public:
  // `folder` is the start of the path (ending in the separator), or empty for a path given whole.
  void add(std::string_view folder, std::string_view name);
  size_t size() const { return folderOf_.size(); }
  bool empty() const { return folderOf_.empty(); }
  std::string at(size_t index) const;  // the full path

 private:
  std::vector<std::string> folders_;
  std::vector<uint32_t> folderOf_;
  std::vector<uint64_t> nameEnd_;  // into names_
  std::string names_;
};

}  // namespace cli
