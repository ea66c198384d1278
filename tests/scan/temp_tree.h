// A scratch folder tree for scanner tests, removed again at the end of each test.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace scantest {

class TempTree {
 public:
  TempTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantorel-scan-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    root_ = pattern;
  }
  ~TempTree() {
    // By handles, not names: folders a test locked are opened again, and paths longer than
    // the system allows can be removed too.
    const int root = open(root_.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
    if (root < 0) return;
    removeBelow(root);
    close(root);
    rmdir(root_.c_str());
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

  // Nests folders named with 250 'd's below `relative` as deep as paths stay within what the
  // system allows, plus one level beyond; creates `files` in the deepest folder that fits (by
  // handle, so their own paths may be too long) and returns that folder's path.
  std::string nestToPathLimit(const std::string& relative, const std::vector<std::string>& files = {}) const {
    dir(relative);
    const std::string component(250, 'd');
    std::string path = this->path(relative);
    int fd = open(path.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
    while (path.size() + 1 + component.size() + 1 <= 4095) {
      mkdirat(fd, component.c_str(), 0700);
      const int next = openat(fd, component.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
      close(fd);
      fd = next;
      path += "/" + component;
    }
    mkdirat(fd, component.c_str(), 0700);  // its path, with the separator, is too long
    for (const std::string& name : files) close(openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    close(fd);
    return path;
  }

 private:
  static void removeBelow(int folder) {
    DIR* listing = fdopendir(dup(folder));
    if (!listing) return;
    while (const dirent* entry = readdir(listing)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      struct stat info {};
      if (fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode)) {
        (void)!fchmodat(folder, name.c_str(), 0700, 0);  // removal below reports what stays
        const int sub = openat(folder, name.c_str(), O_DIRECTORY | O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (sub >= 0) {
          removeBelow(sub);
          close(sub);
        }
        unlinkat(folder, name.c_str(), AT_REMOVEDIR);
      } else {
        unlinkat(folder, name.c_str(), 0);
      }
    }
    closedir(listing);
  }

  std::filesystem::path root_;
};

}  // namespace scantest
