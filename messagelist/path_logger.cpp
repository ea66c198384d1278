#include "messagelist/path_logger.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace messagelist {

namespace {

// The immediate entries of one folder that the scan records, each group in name order.
struct FolderListing {
  std::vector<std::string> subfolders;
  std::vector<std::string> files;
  bool complete = true;
};

FolderListing listFolder(const std::string& folder) {
  FolderListing listing;
  std::error_code ec;
  fs::directory_iterator it(fs::path(folder), ec);
  if (ec) {
    listing.complete = false;
    return listing;
  }
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) break;
    const fs::directory_entry& entry = *it;
    // The type comes from the directory listing itself; only links cost a stat.
    std::error_code typeError;
    const bool link = entry.is_symlink(typeError);
    if (typeError) continue;  // vanished since it was listed
    const std::string& path = entry.path().native();
    std::string name = path.substr(path.rfind(kPathSeparator) + 1);
    if (!link && entry.is_directory(typeError)) {
      listing.subfolders.push_back(std::move(name));
    } else if (entry.is_regular_file(typeError)) {
      listing.files.push_back(std::move(name));
    }
  }
  if (ec) listing.complete = false;
  std::sort(listing.subfolders.begin(), listing.subfolders.end());
  std::sort(listing.files.begin(), listing.files.end());
  return listing;
}

std::string key(int32_t n) { return "K" + std::to_string(n); }

template <class List>
std::shared_ptr<List> createdOnDemand(std::shared_ptr<List>& held) {
  if (!held) held = std::make_shared<List>();
  return held;
}

}  // namespace

std::string EnsureTrailingSeparator(std::string path) {
  if (path.empty() || path.back() != kPathSeparator) path.push_back(kPathSeparator);
  return path;
}

void pathLogger::PathLogInit() {
  ready_ = true;
  fullFileNamesOnly_ = true;
  skippedFolders_ = 0;
  fileNames_.reset();
  pathPointers_.reset();
  pathNames_.reset();
  fullFileNames_.reset();
}

void pathLogger::LogPath(const std::string& strPARENT) {
  if (!ready_)
    throw std::logic_error(
        "pathLogger::LogPath was called without a prepared scanner; call PathLogInit first.");

  std::error_code ec;
  const fs::file_status start = fs::status(fs::path(strPARENT), ec);
  if (!fs::is_directory(start)) {
    // Nothing to scan. A start that exists but cannot even be looked at is reported like any
    // other unreadable folder, so that the user learns why nothing was found.
    if (ec && start.type() != fs::file_type::not_found) ++skippedFolders_;
    return;
  }

  int32_t queued = 1;  // folder-table length; the table doubles as the breadth-first queue
  int32_t current = 1;
  fileCounter_ = 1;

  StringKeyedList& table = *pathNames();
  table.add(EnsureTrailingSeparator(strPARENT), "K0");

  StringKeyedList* fullNames = sink_ ? nullptr : fullFileNames().get();
  StringKeyedList* names = fullFileNamesOnly_ || sink_ ? nullptr : fileNames().get();
  PointerKeyedList* pointers = fullFileNamesOnly_ || sink_ ? nullptr : pathPointers().get();

  while (current <= queued) {
    // A copy: appending subfolders below may move the table's storage.
    const std::string folder = table.item(static_cast<std::size_t>(current));
    FolderListing listing = listFolder(folder);
    if (!listing.complete) ++skippedFolders_;

    for (const std::string& name : listing.subfolders) {
      ++queued;
      table.add(folder + name + kPathSeparator, key(queued));
    }
    for (std::string& name : listing.files) {
      if (sink_) {
        sink_(folder, name);
        ++fileCounter_;
        continue;
      }
      const std::string fileKey = key(fileCounter_);
      fullNames->add(folder + name, fileKey);
      if (names) {
        names->add(std::move(name), fileKey);
        pointers->add(current, fileKey);
      }
      ++fileCounter_;
    }
    if (progress_) progress_(current, fileCounter_ - 1);
    ++current;
  }
}

void pathLogger::Terminate() {
  ready_ = false;
  fileNames_.reset();
  pathNames_.reset();
  pathPointers_.reset();
  fullFileNames_.reset();
}

std::shared_ptr<StringKeyedList> pathLogger::fileNames() { return createdOnDemand(fileNames_); }
std::shared_ptr<StringKeyedList> pathLogger::pathNames() { return createdOnDemand(pathNames_); }
std::shared_ptr<PointerKeyedList> pathLogger::pathPointers() { return createdOnDemand(pathPointers_); }
std::shared_ptr<StringKeyedList> pathLogger::fullFileNames() { return createdOnDemand(fullFileNames_); }

}  // namespace messagelist
