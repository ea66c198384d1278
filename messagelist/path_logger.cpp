#include "messagelist/path_logger.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "messagelist/file_checks.h"
#include "platform/folder_listing.h"
#include "platform/path_text.h"

namespace fs = std::filesystem;

namespace messagelist {

namespace {

// The immediate entries of one folder that the scan records or reports, each group in name order.
struct FolderListing {
  std::vector<std::string> subfolders;
  std::vector<std::string> files;
  std::vector<std::pair<std::string, std::string>> skipped;  // name (a folder's ends in the separator), reason
  std::string problem;  // why the folder itself could not be listed, in whole or in part
};

// Sorts one entry into the listing. The type comes from the folder listing itself; only
// links, and entries of file systems that do not say, cost a stat.
void classify(int folderFd, const std::string& folder, const std::string& name, std::optional<platform::FileKind> type,
              FolderListing& listing) {
  using platform::FileKind;
  const size_t length = folder.size() + name.size();
  auto addFile = [&] {
    if (length > kLongestPath) {
      listing.skipped.emplace_back(name, tooLongReason(length));
    } else {
      listing.files.push_back(name);
    }
  };
  auto addFolder = [&] {
    if (length + 1 > kLongestPath) {
      listing.skipped.emplace_back(name + kPathSeparator, tooLongReason(length + 1));
    } else {
      listing.subfolders.push_back(name);
    }
  };
  if (type == FileKind::Folder) return addFolder();
  if (type == FileKind::Regular) return addFile();
  if (type && type != FileKind::Link) {
    listing.skipped.emplace_back(name, notRegularFileReason(*type));
    return;
  }
  platform::FileStatus info;
  if (!platform::statusIn(folderFd, name, info, type == FileKind::Link)) {
    const int error = errno;
    platform::FileStatus self;
    const bool gone = !platform::statusIn(folderFd, name, self, false);
    if (gone) return;  // removed since the folder was listed
    if (type == FileKind::Link) {
      listing.skipped.emplace_back(name, brokenLinkReason(error, platform::linkTargetIn(folderFd, name)));
    } else {
      listing.skipped.emplace_back(name, std::string("it could not be examined (") + std::strerror(error) + ")");
    }
    return;
  }
  if (info.kind == FileKind::Link) return classify(folderFd, folder, name, FileKind::Link, listing);
  if (info.kind == FileKind::Folder) {
    // Links to folders are not followed: a link back to an ancestor would never end.
    if (!type) addFolder();
    return;
  }
  if (info.kind == FileKind::Regular) return addFile();
  listing.skipped.emplace_back(name, notRegularFileReason(info.kind));
}

FolderListing listFolder(const std::string& folder, bool followLink) {
  FolderListing listing;
  platform::FolderReader reader;
  if (!reader.open(folder, followLink)) {
    listing.problem = unreadableFolderReason(errno, false);
    return listing;
  }
  platform::FolderEntry entry;
  for (;;) {
    if (!reader.next(entry)) {
      if (errno != 0) listing.problem = unreadableFolderReason(errno, true);
      break;
    }
    classify(reader.descriptor(), folder, entry.name, entry.kind, listing);
  }
  std::sort(listing.subfolders.begin(), listing.subfolders.end());
  std::sort(listing.files.begin(), listing.files.end());
  std::sort(listing.skipped.begin(), listing.skipped.end());
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
  skipped_.clear();
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
  const fs::file_status start = fs::status(platform::pathFromText(strPARENT), ec);
  if (!fs::is_directory(start)) {
    // Nothing to scan. A start that exists but cannot even be looked at is reported like any
    // other unreadable folder, so that the user learns why nothing was found.
    if (ec && start.type() != fs::file_type::not_found) skip(EnsureTrailingSeparator(strPARENT), unreadableFolderReason(ec.value(), false));
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
    FolderListing listing = listFolder(folder, current == 1);  // the chosen start may be a link
    if (!listing.problem.empty()) skip(folder, std::move(listing.problem));
    for (auto& [name, reason] : listing.skipped) skip(folder + name, std::move(reason));

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

void pathLogger::skip(std::string path, std::string reason) {
  if (path.back() == kPathSeparator) ++skippedFolders_;
  skipped_.push_back(ScanSkip{std::move(path), std::move(reason)});
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
