// The file a run writes: created exclusively as "<name>.part" under the first free name, kept
// open for the whole run, and at the end given its final name only if the ".part" name still
// is this very file, never replacing another.
#pragma once

#include <filesystem>
#include <string>

namespace conversion {

// The most ".part" files removeUnfinishedNow() can reach at once: one per run converting at
// the same time (--jobs), with room for tests that run several in one process.
inline constexpr int kMostUnfinishedFiles = 128;

class PartFile {
 public:
  // Creates "<candidate>.part" for the first of `wanted`, " (2)", " (3)"... whose own name and
  // ".part" name are both free. A name another run takes first is passed over, so runs started
  // together into one folder each get their own. Throws std::runtime_error with the cause.
  static PartFile create(const std::filesystem::path& wanted);

  PartFile(PartFile&& other) noexcept;
  PartFile& operator=(PartFile&&) = delete;
  ~PartFile();

  const std::filesystem::path& partPath() const { return partPath_; }
  const std::filesystem::path& pstPath() const { return pstPath_; }
  // A new descriptor of the file for the writer, which closes it when done.
  int duplicateDescriptor() const;

  // True when another program deleted the file since it was created.
  bool deleted() const;
  // Why the run cannot go on, or cannot end, when the file was deleted.
  std::string deletedReason() const;

  // After the file was completed: renames it to pstPath(), or to the first free numbered name
  // (" (2)"...) should that be taken meanwhile, never replacing a file, and only if its ".part"
  // name still names this file. Returns the name given; throws std::runtime_error saying what
  // became of the file otherwise.
  std::filesystem::path publish();

  // Removes the file of a run that failed before writing, if the name still is this file's.
  void discard();

  // Removes every ".part" file still being written whose name still is its own, for a program
  // that is ending at once; returns how many it removed. Safe in a signal handler: it neither
  // allocates nor locks.
  static int removeUnfinishedNow();

 private:
  PartFile(int folder, int fd, std::filesystem::path pstPath);
  bool stillNamed(const std::filesystem::path& name) const;
  void forget();  // leaves removeUnfinishedNow()'s table

  int folder_ = -1;  // the output folder, held so that every name is looked up in the same one
  int fd_ = -1;
  std::filesystem::path pstPath_;
  std::filesystem::path partPath_;
  int unfinished_ = -1;  // its entry in removeUnfinishedNow()'s table; -1: none
};

}  // namespace conversion
