// The folder scanner: walks a folder tree breadth-first and records every file in it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "messagelist/keyed_list.h"

namespace messagelist {

// An entry a scan met but could not record, and why.
struct ScanSkip {
  std::string path;    // a folder's ends in the separator
  std::string reason;  // for the user
};

using StringKeyedList = KeyedList<std::string>;
using PointerKeyedList = KeyedList<int32_t>;

// Separator between path components, and the ending of every folder-table entry.
inline constexpr char kPathSeparator = '/';

// `path` unchanged when it already ends in the separator, otherwise with one appended;
// an empty path becomes the root "/".
std::string EnsureTrailingSeparator(std::string path);

// Usage: PathLogInit, optionally set fullFileNamesOnly, LogPath, read the lists, Terminate.
// The lists are shared: a caller that keeps one keeps its contents after PathLogInit or
// Terminate drop the scanner's reference.
//
// Each folder's entries are taken in byte order of their names, subfolders queued before files.
// Symbolic links to folders are not followed (a link back to an ancestor would never end);
// links to regular files are recorded as files. Only regular files are recorded: a pipe,
// socket or device named like a message would block or fail the importer, and a dangling or
// looping link has nothing to read. Those, paths longer than the system allows, and folders
// that cannot be listed are reported in skipped() instead, so that nothing found goes unsaid.
class pathLogger {
 public:
  // Prepares a scan: sets fullFileNamesOnly to true, drops the four lists and clears
  // skippedFolders. The file counter keeps its value until LogPath resets it.
  void PathLogInit();

  // Scans the tree under `strPARENT`. Does nothing when it is not an existing folder. Throws
  // std::logic_error before PathLogInit, and DuplicateKeyError when the lists of an earlier
  // scan were not dropped in between.
  void LogPath(const std::string& strPARENT);

  // After a scan: the number of files recorded plus one. 0 for a new object.
  int32_t Count() const { return fileCounter_; }

  // Drops the scan state and the four lists; Count and fullFileNamesOnly keep their values.
  void Terminate();

  // true: record full paths only; false: also file names and folder pointers.
  void fullFileNamesOnly(bool fullPath) { fullFileNamesOnly_ = fullPath; }
  bool fullFileNamesOnly() const { return fullFileNamesOnly_; }

  // Each list is created empty on first read after it was dropped.
  std::shared_ptr<StringKeyedList> fileNames();      // bare name of each file
  std::shared_ptr<StringKeyedList> pathNames();      // folder table, ending in the separator
  std::shared_ptr<PointerKeyedList> pathPointers();  // folder-table position of each file
  std::shared_ptr<StringKeyedList> fullFileNames();  // full path of each file

  // Folders, the start included, that could not be listed (in whole or in part) by the scans
  // since PathLogInit; what could be read of them is still recorded.
  int32_t skippedFolders() const { return skippedFolders_; }
  // What the scans since PathLogInit could not record, in the order met: those folders, and
  // every entry that is not a regular file or cannot be reached, whatever its name (the caller
  // picks out the ones it would have listed, as it does from the file lists).
  const std::vector<ScanSkip>& skipped() const { return skipped_; }

  // Called after each folder is listed, with the folders listed and the files recorded so
  // far in this scan, so that a long scan can show how far it got and keep a window
  // responsive. An exception thrown by the handler ends the scan and reaches LogPath's caller.
  using ProgressHandler = std::function<void(int32_t foldersListed, int32_t filesFound)>;
  void setProgressHandler(ProgressHandler handler) { progress_ = std::move(handler); }

  // When set, each file found goes to `sink` (its folder, ending in the separator, and its
  // name) instead of into the file lists; Count still counts it. Keyed lists cost about
  // 200 bytes a file, too much for a store of millions that a caller can keep more compactly.
  using FileSink = std::function<void(const std::string& folder, const std::string& name)>;
  void setFileSink(FileSink sink) { sink_ = std::move(sink); }

 private:
  bool ready_ = false;  // PathLogInit was called and Terminate was not since
  bool fullFileNamesOnly_ = false;
  int32_t fileCounter_ = 0;
  int32_t skippedFolders_ = 0;
  std::vector<ScanSkip> skipped_;
  std::shared_ptr<StringKeyedList> fileNames_;
  std::shared_ptr<PointerKeyedList> pathPointers_;
  std::shared_ptr<StringKeyedList> pathNames_;
  std::shared_ptr<StringKeyedList> fullFileNames_;
  ProgressHandler progress_;
  FileSink sink_;

  void skip(std::string path, std::string reason);
};

}  // namespace messagelist
