#include "conversion/part_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <stdexcept>

#include "conversion/pst_file_name.h"

namespace conversion {

namespace fs = std::filesystem;

namespace {

constexpr int kMostNumbers = 9999;

std::string errorText(int error) { return std::strerror(error); }

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The ".part" files being written, where a signal handler can reach them: a fixed table of
// plain values, since a handler may neither allocate nor lock. An entry is filled before it
// is marked in use, and marked free before its descriptors close.
struct Unfinished {
  std::atomic<int> state{0};  // 0 free, 1 being filled, 2 in use
  int folder = -1;
  int fd = -1;
  char name[NAME_MAX + 1] = {};
};
Unfinished unfinished[kMostUnfinishedFiles];

int rememberUnfinished(int folder, int fd, const std::string& name) {
  if (name.size() > NAME_MAX) return -1;
  for (int i = 0; i < kMostUnfinishedFiles; ++i) {
    int expected = 0;
    if (!unfinished[i].state.compare_exchange_strong(expected, 1)) continue;
    unfinished[i].folder = folder;
    unfinished[i].fd = fd;
    std::memcpy(unfinished[i].name, name.c_str(), name.size() + 1);
    unfinished[i].state.store(2);
    return i;
  }
  return -1;
}

}  // namespace

PartFile::PartFile(int folder, int fd, fs::path pstPath)
    : folder_(folder),
      fd_(fd),
      pstPath_(std::move(pstPath)),
      partPath_(PartPath(pstPath_)),
      unfinished_(rememberUnfinished(folder_, fd_, partPath_.filename())) {}

PartFile::PartFile(PartFile&& other) noexcept
    : folder_(other.folder_),
      fd_(other.fd_),
      pstPath_(std::move(other.pstPath_)),
      partPath_(std::move(other.partPath_)),
      unfinished_(other.unfinished_) {
  other.folder_ = other.fd_ = other.unfinished_ = -1;
}

PartFile::~PartFile() {
  forget();
  if (fd_ >= 0) close(fd_);
  if (folder_ >= 0) close(folder_);
}

void PartFile::forget() {
  if (unfinished_ >= 0) unfinished[unfinished_].state.store(0);
  unfinished_ = -1;
}

int PartFile::removeUnfinishedNow() {
  int removed = 0;
  for (Unfinished& entry : unfinished) {
    if (entry.state.load() != 2) continue;
    struct stat mine {}, named {};
    if (fstat(entry.fd, &mine) == 0 && fstatat(entry.folder, entry.name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        sameFile(mine, named)) {
      if (unlinkat(entry.folder, entry.name, 0) == 0) ++removed;
    }
  }
  return removed;
}

PartFile PartFile::create(const fs::path& wanted) {
  const fs::path folderPath = wanted.has_parent_path() ? wanted.parent_path() : fs::path(".");
  const int folder = open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) {
    throw std::runtime_error("Cannot create " + PartPath(wanted).string() + ": " + errorText(errno) +
                             "; check that the folder exists and is writable.");
  }
  for (int n = 1; n <= kMostNumbers; ++n) {
    const fs::path candidate = NumberedPath(wanted, n);
    struct stat info {};
    // A dangling link takes a name as well as a file does.
    if (fstatat(folder, candidate.filename().c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) continue;
    const fs::path part = PartPath(candidate);
    const int fd = openat(folder, part.filename().c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) return PartFile(folder, fd, candidate);
    const int error = errno;
    if (error == EEXIST) continue;  // another run was first: the next number is this one's
    close(folder);
    throw std::runtime_error("Cannot create " + part.string() + ": " + errorText(error) +
                             "; check that the folder exists and is writable.");
  }
  close(folder);
  throw std::runtime_error("Every name from " + wanted.string() + " to " + NumberedPath(wanted, kMostNumbers).string() +
                           " is taken; choose another folder.");
}

int PartFile::duplicateDescriptor() const {
  const int fd = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("Cannot write " + partPath_.string() + ": " + errorText(errno) + ".");
  return fd;
}

bool PartFile::stillNamed(const std::string& name) const {
  struct stat mine {}, named {};
  return fstat(fd_, &mine) == 0 && fstatat(folder_, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         sameFile(mine, named);
}

bool PartFile::deleted() const {
  struct stat mine {};
  return fstat(fd_, &mine) == 0 && mine.st_nlink == 0;
}

std::string PartFile::deletedReason() const {
  return "The PST file being written in " + pstPath_.parent_path().string() +
         " was deleted by another program during the run, so the messages converted so far are lost. Convert again, "
         "and leave the output folder alone until the run has ended.";
}

fs::path PartFile::publish() {
  forget();  // complete: from here on it is never removed
  if (deleted()) throw std::runtime_error(deletedReason());
  const std::string partName = partPath_.filename();
  if (!stillNamed(partName)) {
    // The system knows where the file went, if it is still anywhere.
    char link[64], where[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd_);
    const ssize_t n = readlink(link, where, sizeof where - 1);
    const std::string now = n > 0 ? std::string(where, static_cast<size_t>(n)) : std::string();
    throw std::runtime_error("The PST file being written, " + partPath_.string() +
                             ", was moved or renamed by another program during the run, so it was not given its "
                             "final name" +
                             (now.empty() ? std::string() : "; the completed file is now " + now) +
                             ". A file now named " + partName + " is not this run's and was left as it is.");
  }
  for (int n = 1; n <= kMostNumbers; ++n) {
    const fs::path candidate = NumberedPath(pstPath_, n);
    const std::string name = candidate.filename();
    int error = 0;
    if (renameat2(folder_, partName.c_str(), folder_, name.c_str(), RENAME_NOREPLACE) == 0) {
      if (stillNamed(name)) return pstPath_ = candidate;
      // Swapped for another in the instant between the check and the rename: that one goes back.
      renameat2(folder_, name.c_str(), folder_, partName.c_str(), RENAME_NOREPLACE);
      throw std::runtime_error("The PST file being written, " + partPath_.string() +
                               ", was replaced by another program as it was being given its final name; nothing "
                               "was renamed.");
    }
    error = errno;
    if (error == EINVAL || error == ENOSYS) {
      // No exclusive rename on this file system: a new link to this very file is just as
      // exclusive, and cannot name another.
      char self[64];
      std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd_);
      if (linkat(AT_FDCWD, self, folder_, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        if (stillNamed(partName)) unlinkat(folder_, partName.c_str(), 0);
        return pstPath_ = candidate;
      }
      error = errno;
    }
    if (error == EEXIST) continue;
    throw std::runtime_error("Cannot give " + partPath_.string() + " its final name " + candidate.string() + ": " +
                             errorText(error) + "; the completed file keeps the name " + partPath_.string() + ".");
  }
  throw std::runtime_error("Every name from " + pstPath_.string() + " on is taken; the completed file keeps the name " +
                           partPath_.string() + ".");
}

void PartFile::discard() {
  forget();
  const std::string partName = partPath_.filename();
  if (stillNamed(partName)) unlinkat(folder_, partName.c_str(), 0);
}

}  // namespace conversion
