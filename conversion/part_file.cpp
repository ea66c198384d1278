#include "conversion/part_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "conversion/pst_file_name.h"
#include "platform/file_status.h"
#include "platform/files.h"
#include "platform/output_folder.h"

namespace conversion {

namespace fs = std::filesystem;

namespace {

constexpr int kMostNumbers = 9999;

std::string errorText(int error) { return std::strerror(error); }

constexpr size_t kMostNameBytes = 255;

// The ".part" files being written, where a signal handler can reach them: a fixed table of
// plain values, since a handler may neither allocate nor lock. An entry is filled before it
// is marked in use, and marked free before its descriptors close.
struct Unfinished {
  std::atomic<int> state{0};  // 0 free, 1 being filled, 2 in use
  int folder = -1;
  int fd = -1;
  char name[kMostNameBytes + 1] = {};
};
Unfinished unfinished[kMostUnfinishedFiles];

int rememberUnfinished(int folder, int fd, const std::string& name) {
  if (name.size() > kMostNameBytes) return -1;
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
      unfinished_(rememberUnfinished(folder_, fd_, partPath_.filename().string())) {}

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
  if (fd_ >= 0) platform::closeFile(fd_);
  if (folder_ >= 0) platform::closeFile(folder_);
}

void PartFile::forget() {
  if (unfinished_ >= 0) unfinished[unfinished_].state.store(0);
  unfinished_ = -1;
}

int PartFile::removeUnfinishedNow() {
  int removed = 0;
  for (Unfinished& entry : unfinished) {
    if (entry.state.load() != 2) continue;
    if (platform::removeIfStillNamed(entry.folder, entry.fd, entry.name)) ++removed;
  }
  return removed;
}

PartFile PartFile::create(const fs::path& wanted) {
  const fs::path folderPath = wanted.has_parent_path() ? wanted.parent_path() : fs::path(".");
  const int folder = platform::openFolder(folderPath);
  if (folder < 0) {
    throw std::runtime_error("Cannot create " + PartPath(wanted).string() + ": " + errorText(errno) +
                             "; check that the folder exists and is writable.");
  }
  for (int n = 1; n <= kMostNumbers; ++n) {
    const fs::path candidate = NumberedPath(wanted, n);
    // A dangling link takes a name as well as a file does.
    if (platform::nameTaken(folder, candidate.filename())) continue;
    const fs::path part = PartPath(candidate);
    const int fd = platform::createNewIn(folder, part.filename());
    if (fd >= 0) return PartFile(folder, fd, candidate);
    const int error = errno;
    if (error == EEXIST) continue;  // another run was first: the next number is this one's
    platform::closeFile(folder);
    throw std::runtime_error("Cannot create " + part.string() + ": " + errorText(error) +
                             "; check that the folder exists and is writable.");
  }
  platform::closeFile(folder);
  throw std::runtime_error("Every name from " + wanted.string() + " to " + NumberedPath(wanted, kMostNumbers).string() +
                           " is taken; choose another folder.");
}

int PartFile::duplicateDescriptor() const {
  const int fd = platform::duplicate(fd_);
  if (fd < 0) throw std::runtime_error("Cannot write " + partPath_.string() + ": " + errorText(errno) + ".");
  return fd;
}

bool PartFile::stillNamed(const fs::path& name) const {
  return platform::namesFile(folder_, name, fd_);
}

bool PartFile::deleted() const {
  platform::FileStatus mine;
  return platform::statusOf(fd_, mine) && mine.links == 0;
}

std::string PartFile::deletedReason() const {
  return "The PST file being written in " + pstPath_.parent_path().string() +
         " was deleted by another program during the run, so the messages converted so far are lost. Convert again, "
         "and leave the output folder alone until the run has ended.";
}

fs::path PartFile::publish() {
  forget();  // complete: from here on it is never removed
  if (deleted()) throw std::runtime_error(deletedReason());
  const fs::path partName = partPath_.filename();
  if (!stillNamed(partName)) {
    // The system knows where the file went, if it is still anywhere.
    const std::string now = platform::currentPath(fd_);
    throw std::runtime_error("The PST file being written, " + partPath_.string() +
                             ", was moved or renamed by another program during the run, so it was not given its "
                             "final name" +
                             (now.empty() ? std::string() : "; the completed file is now " + now) +
                             ". A file now named " + partName.string() + " is not this run's and was left as it is.");
  }
  for (int n = 1; n <= kMostNumbers; ++n) {
    const fs::path candidate = NumberedPath(pstPath_, n);
    const fs::path name = candidate.filename();
    int error = platform::renameNoReplace(folder_, partName, name);
    if (error == 0) {
      if (stillNamed(name)) return pstPath_ = candidate;
      // Swapped for another in the instant between the check and the rename: that one goes back.
      platform::renameNoReplace(folder_, name, partName);
      throw std::runtime_error("The PST file being written, " + partPath_.string() +
                               ", was replaced by another program as it was being given its final name; nothing "
                               "was renamed.");
    }
    if (error == EINVAL || error == ENOSYS) {
      // No exclusive rename on this file system: a new link to this very file is just as
      // exclusive, and cannot name another.
      error = platform::linkNoReplace(folder_, fd_, name);
      if (error == 0) {
        if (stillNamed(partName)) platform::removeName(folder_, partName);
        return pstPath_ = candidate;
      }
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
  const fs::path partName = partPath_.filename();
  if (stillNamed(partName)) platform::removeName(folder_, partName);
}

}  // namespace conversion
