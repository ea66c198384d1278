#include "cli/path_list.h"

#include <stdexcept>

namespace cli {

void PathList::add(std::string_view folder, std::string_view name) {
  // Scans deliver a folder's files together, so comparing with the last folder is enough.
  if (folders_.empty() || folders_.back() != folder) folders_.emplace_back(folder);
  folderOf_.push_back(static_cast<uint32_t>(folders_.size() - 1));
  names_.append(name);
  nameEnd_.push_back(names_.size());
}

std::string PathList::at(size_t index) const {
  if (index >= size())
    throw std::out_of_range("Entry " + std::to_string(index) + " is outside the list of " + std::to_string(size()) +
                            " files.");
  const uint64_t begin = index == 0 ? 0 : nameEnd_[index - 1];
  std::string path = folders_[folderOf_[index]];
  path.append(names_, begin, nameEnd_[index] - begin);
  return path;
}

}  // namespace cli
