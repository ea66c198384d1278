#include "conversion/engine.h"

#include <algorithm>
#include <exception>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "conversion/allocator_tuning.h"
#include "conversion/file_importer.h"
#include "conversion/folder_path.h"
#include "conversion/messaging.h"
#include "conversion/open_mapi_folder.h"
#include "conversion/pst_file_name.h"
#include "platform/local_time.h"
#include "platform/path_text.h"
#include "platform/file_status.h"

namespace conversion {

namespace {

bool isBlank(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

std::string trimSpaces(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::tm localNow() { return platform::localTime(std::time(nullptr)); }

// The file to import. Spaces around a listed path are no part of it, unless a file really
// is named so (legal here, and the list holds real names).
std::filesystem::path importPath(const std::string& text) {
  std::string trimmed = trimSpaces(text);
  if (trimmed != text) {
    std::error_code ec;
    if (std::filesystem::exists(platform::pathFromText(text), ec)) return platform::pathFromText(text);
  }
  return platform::pathFromText(trimmed);
}

std::string gigabytes(uint64_t bytes) {
  const uint64_t tenths = (bytes * 10 + (uint64_t{1} << 29)) >> 30;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " GB";
}

// Records why each folder of the list could not be created, so that its messages (and its
// subfolders) report the first cause rather than a missing folder.
class FolderFailures {
 public:
  void add(const std::string& folderPath, std::string why) { reasons_.emplace(folderPath, std::move(why)); }
  // The cause recorded for the folder or its nearest failed ancestor.
  const std::string* find(const std::string& folderPath) const {
    if (reasons_.empty()) return nullptr;
    std::string path = folderPath;
    while (true) {
      if (auto it = reasons_.find(path); it != reasons_.end()) return &it->second;
      const size_t cut = path.rfind(kFolderSeparator);
      if (cut == std::string::npos) return nullptr;
      path.resize(cut);
    }
  }

 private:
  std::unordered_map<std::string, std::string> reasons_;
};

// Rows announced to the importer beyond the one being imported.
constexpr size_t kImportLookAhead = 32;

class Run {
 public:
  Run(const RowSource& rows, const RunSettings& settings, RunView& view, RunState& state)
      : rows_(rows), settings_(settings), view_(view), state_(state) {}

  RunOutcome run() {
    outcome_.skipped = settings_.skippedWhenListed;
    if (!anyListed()) {
      outcome_.result = RunOutcome::Result::EmptyList;
      return outcome_;
    }
    if (!prepare()) return outcome_;
    if (limited()) {
      // Each part gets the folders its own messages need, when the first of them comes.
      countRowsPerFolder();
    } else {
      createFolders();
      announceFolderSizes();
    }
    importMessages();
    finish();
    return outcome_;
  }

 private:
  bool limited() const { return settings_.maxPstSize > 0; }

  bool anyListed() const {
    const size_t n = rows_.rows();
    for (size_t r = 0; r < n; ++r) {
      if (!isBlank(rows_.text(r))) return true;
    }
    return false;
  }

  std::string rowText(size_t row) const { return row < rows_.rows() ? rows_.text(row) : std::string(); }

  std::optional<std::string> folderPathOf(std::string_view entry, std::string* reason = nullptr) const {
    return settings_.folderPathOf ? settings_.folderPathOf(entry, reason) : FolderPathOf(entry, reason);
  }

  void skip(const std::string& path, std::string reason) {
    outcome_.skipped.push_back(SkippedEntry{path, std::move(reason)});
  }

  bool stopping() {
    if (!outcome_.stopped && view_.stopRequested()) outcome_.stopped = true;
    return outcome_.stopped;
  }

  // The part's file and store names: the first part as named, the next ones " (part n)" after.
  std::string partSuffix() const { return part_ < 2 ? std::string() : " (part " + std::to_string(part_) + ")"; }

  void openStore() {
    // Every part is named after the time the run began, so that the parts go together.
    if (part_ < 2) {
      const std::string started = FormatTimestamp(now_());
      pstName_ = settings_.pstName.empty() ? PstFileName(started) : settings_.pstName + ".pst";
      state_.storeDisplayName =
          settings_.storeDisplayName.empty() ? StoreDisplayName(started) : settings_.storeDisplayName;
    }
    // A later part takes the name the first part was given in the end (" (2)" when taken).
    const bool firstPart = outcome_.pstParts.empty();
    const std::filesystem::path first = firstPart ? platform::pathFromText(pstName_) : outcome_.pstParts.front().filename();
    const std::string nameSuffix = firstPart ? settings_.pstNameSuffix : std::string();
    const std::filesystem::path partPath =
        state_.outputFolder /
        platform::pathFromText(FittedFileName(first.stem().string(), nameSuffix + partSuffix() + first.extension().string()));
    displayName_ = state_.storeDisplayName + partSuffix();
    store_ = state_.session->Stores().AddPSTStore(partPath, kStoreFormatDefault, displayName_);
    entryId_ = store_->EntryID();
    partFolders_.clear();
    messagesInPart_ = 0;
    partWarningsFrom_ = outcome_.warnings.size();
  }

  bool prepare() {
    try {
      now_ = settings_.now ? settings_.now : localNow;
      state_.outputFolder =
          platform::fullPath(settings_.outputFolder.empty() ? std::filesystem::path(".") : settings_.outputFolder);
      state_.session = std::make_shared<Session>(settings_.backend);
      state_.session->Logon(static_cast<bool>(settings_.fileSaved));
      part_ = 1;
      openStore();

      // Rows of one folder come together; keeping one entry per run of them gives the same
      // sorted, distinct list without a string per row (a million rows cost 120 MB).
      const size_t n = rows_.rows();
      std::vector<std::string> paths;
      for (size_t r = 0; r < n; ++r) {
        std::string folder = folderPathOf(rows_.text(r)).value_or(std::string());
        if (paths.empty() || paths.back() != folder) paths.push_back(std::move(folder));
      }
      state_.folderList = BuildFolderList(paths, [this] { view_.yield(); });
      return true;
    } catch (const ImporterUnavailable& e) {
      // Logon opens the importer before any store: no file is left behind.
      outcome_.result = RunOutcome::Result::ReadersFailed;
      outcome_.failureCause = e.what();
      return false;
    } catch (const std::exception& e) {
      outcome_.result = RunOutcome::Result::PreparationFailed;
      outcome_.failureCause = e.what();
      return false;
    }
  }

  // Creates the folder `entry` in the current store below its parent, which exists already.
  // A first-level folder the new store already has is used as it is.
  void createFolder(const std::string& entry) {
    Session& session = *state_.session;
    const std::vector<std::string> components = SplitFolderPath(entry);
    if (components.size() == 1) {
      MessageStore store = session.Stores().GetStoreFromID(entryId_);
      FolderCollection top = store.IPMRootFolder().Folders();
      const bool exists = top.Find(entry).has_value();
      if (!exists) top.Add(entry, kFolderTypeMail);
      view_.yield();
      return;
    }
    const std::string parentPath = entry.substr(0, entry.size() - components.back().size() - 1);
    bool complete = false;
    std::optional<Folder> parent = OpenMAPIFolder(session, "\\" + displayName_ + "\\" + parentPath, &complete);
    view_.yield();
    // A partial lookup ends at an ancestor; creating the folder there would misplace it.
    if (!parent || !complete) throw MessagingError("its parent folder " + parentPath + " was not found");
    parent->Folders().Add(components.back(), kFolderTypeMail);
    view_.yield();
  }

  void recordFolderFailure(const std::string& entry, const std::exception& e) {
    failures_.add(entry, std::string("the folder ") + entry + " could not be created: " + e.what());
  }

  void createFolders() {
    for (const std::string& entry : state_.folderList) {
      if (stopping()) return;
      const size_t cut = entry.rfind(kFolderSeparator);
      if (cut != std::string::npos) {
        if (const std::string* why = failures_.find(entry.substr(0, cut))) {
          failures_.add(entry, *why);
          continue;
        }
      }
      try {
        createFolder(entry);
      } catch (const std::exception& e) {
        recordFolderFailure(entry, e);
      }
    }
  }

  // The folder of `folderPath` in the current part, created with its ancestors when its first
  // message comes; none when it could not be (the cause is in failures_).
  std::optional<Folder> folderInPart(const std::string& folderPath) {
    if (partFolders_.contains(folderPath)) return state_.session->GetFolderFromPath(storePrefix() + folderPath);
    size_t end = 0;
    while (end != std::string::npos) {
      end = folderPath.find(kFolderSeparator, end + 1);
      const std::string entry = folderPath.substr(0, end);
      if (partFolders_.contains(entry)) continue;
      try {
        createFolder(entry);
      } catch (const std::exception& e) {
        recordFolderFailure(entry, e);
        return std::nullopt;
      }
      partFolders_.insert(entry);
    }
    Folder folder = state_.session->GetFolderFromPath(storePrefix() + folderPath);
    // The rows still to come for it, as the folder pass announces them for a whole run.
    try {
      store_->ExpectItems({{folder, rowsLeft_[folderPath]}});
    } catch (const std::exception&) {
    }
    return folder;
  }

  // Rows per folder path, for the hints of a run in parts.
  void countRowsPerFolder() {
    const size_t n = rows_.rows();
    for (size_t r = 0; r < n; ++r) {
      if (r % 65536 == 65535) view_.yield();
      if (const std::optional<std::string> folderPath = folderPathOf(rows_.text(r))) ++rowsLeft_[*folderPath];
    }
  }

  // Tells the store how many messages each folder will get, so that it numbers them in the
  // order PST readers look for them (a million messages would otherwise take them hours).
  void announceFolderSizes() {
    if (outcome_.stopped) return;
    const size_t n = rows_.rows();
    std::map<std::string, uint64_t> perPath;
    std::string lastPath;
    uint64_t* last = nullptr;
    for (size_t r = 0; r < n; ++r) {
      if (r % 65536 == 65535) view_.yield();
      const std::optional<std::string> folderPath = folderPathOf(rows_.text(r));
      if (!folderPath) continue;
      if (!last || *folderPath != lastPath) {
        lastPath = *folderPath;
        last = &perPath[lastPath];
      }
      ++*last;
    }
    std::vector<std::pair<Folder, uint64_t>> counts;
    try {
      for (const auto& [path, count] : perPath) {
        if (!failures_.find(path)) counts.emplace_back(state_.session->GetFolderFromPath(storePrefix() + path), count);
      }
      store_->ExpectItems(counts);
    } catch (const std::exception&) {
      // Only a hint: without it the messages are numbered one by one as they come.
    }
  }

  std::string storePrefix() const { return "\\\\" + displayName_ + "\\"; }

  // Completes the current part and opens the next.
  void startNextPart() {
    try {
      completeStore();
      partRows_.clear();  // in a completed file now
      partMarkedDeleted_ = 0;
      partWarningsFrom_ = outcome_.warnings.size();
      ++part_;
      openStore();
    } catch (const std::exception& e) {
      // Without a store to write into, no later message can be saved either.
      throw StoreWriteFailed(std::string("the next part could not be started: ") + e.what());
    }
  }

  // Saves the item, in the current part or, with a size limit, in a new one when it would
  // take the current one past the limit. False when its folder cannot be had in the new part.
  bool save(MailItem& item, const std::string& folderPath, const std::string& text) {
    if (!limited()) {
      item.Save();
      ++messagesInPart_;
      return true;
    }
    if (!item.SaveWithin(settings_.maxPstSize)) {
      if (messagesInPart_ > 0) {
        startNextPart();
        const std::optional<Folder> folder = folderInPart(folderPath);
        if (!folder) return false;
        item.Move(*folder);
        if (item.SaveWithin(settings_.maxPstSize)) {
          ++messagesInPart_;
          return true;
        }
      }
      item.Save();
      outcome_.warnings.push_back("The message " + text + " alone is larger than the size limit of " +
                                  std::to_string(settings_.maxPstSize) + " bytes; it is stored by itself in " +
                                  store_->filePath().filename().string() + ".");
    }
    ++messagesInPart_;
    return true;
  }

  void importMessages() {
    tuneAllocatorForConversion();
    Session& session = *state_.session;
    const size_t count = rows_.rows();
    for (size_t r = 0; r < count; ++r) {
      if (!isBlank(rows_.text(r))) ++outcome_.listed;
    }
    // A file read elsewhere may take long (up to the readers' time limit): meanwhile the window
    // is served, and a stop ends the pass at once rather than after that file.
    session.SetImportWaitHandler([this] {
      view_.yield();
      return !stopping();
    });
    size_t announced = 0;
    for (size_t i = 0; i < count; ++i) {
      if (stopping()) {
        endedAt_ = i;
        return;
      }
      announced = announceImports(announced, std::min(count, i + kImportLookAhead));
      view_.selectRow(i);
      view_.yield();
      const std::string text = rowText(i);
      std::string reason;
      const std::optional<std::string> folderPath = folderPathOf(text, &reason);
      if (!folderPath) {
        if (!isBlank(text)) skip(text, reason);
      } else if (const std::string* why = failures_.find(*folderPath)) {
        skip(text, *why);
      } else {
        try {
          const std::optional<Folder> folder =
              limited() ? folderInPart(*folderPath) : session.GetFolderFromPath(storePrefix() + *folderPath);
          if (!folder) {
            skip(text, *failures_.find(*folderPath));
          } else {
            MailItem item = folder->Items().Add(kItemTypeMail);
            item.Import(importPath(text), kImportFormatRfc822);
            const MessageStatus status = settings_.messageStatus ? settings_.messageStatus(text) : MessageStatus{};
            MAPIUtils().HrSetOneProp(item.MAPIOBJECT(), kTagMessageFlags,
                                     MessageFlagsFor(status, item.hasAttachments()), true);
            AddStatusProperties(status, item.MAPIOBJECT());
            if (!save(item, *folderPath, text)) {
              skip(text, *failures_.find(*folderPath));
            } else {
              ++outcome_.imported;
              partRows_.push_back(i);
              if (settings_.fileSaved) settings_.fileSaved(text, *folderPath, item.fileDigest());
              if (status.deleted) ++outcome_.markedDeleted, ++partMarkedDeleted_;
            }
          }
        } catch (const ImportStopped&) {
          endedAt_ = i;  // stopping() already recorded it
          return;
        } catch (const StoreWriteFailed& e) {
          // Every later message would fail the same way: the run ends now, and says why.
          outcome_.result = RunOutcome::Result::WriteFailed;
          outcome_.failureCause = e.what();
          endedAt_ = i;
          return;
        } catch (const std::exception& e) {
          skip(text, e.what());
        }
      }
      if (limited() && folderPath) --rowsLeft_[*folderPath];
      view_.setConvertEnabled(false);
      const size_t total = rows_.rows();
      view_.setFrameCaption("Details : Converting - (" + std::to_string(i + 1) + " of " + std::to_string(total) +
                            ") file(s)");
      view_.setCurrentCaption("Importing Messages... from (" + folderPath.value_or(std::string()) + ")");
      if (total > 0) {
        view_.setProgressPosition(static_cast<float>(static_cast<double>(i + 1) / static_cast<double>(total) * 100.0));
      }
      view_.messageProgress(i + 1, count);
    }
  }

  // Tells the session which files rows [from, to) will import, so it can read them ahead.
  size_t announceImports(size_t from, size_t to) {
    for (size_t r = from; r < to; ++r) {
      const std::string text = rowText(r);
      const std::optional<std::string> folderPath = folderPathOf(text);
      if (folderPath && !failures_.find(*folderPath)) state_.session->ExpectFile(importPath(text));
    }
    return std::max(from, to);
  }

  // Completes the current store's file and records it; throws when it cannot be completed.
  void completeStore() {
    store_->Remove();
    const std::filesystem::path done = store_->filePath();
    if (outcome_.pstParts.empty()) outcome_.pstPath = done;
    outcome_.pstParts.push_back(done);
    view_.pstCompleted(done);
    if (settings_.pstCompleted) settings_.pstCompleted(done);
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(done, ec);
    if (!ec && size > kOutlookDefaultPstLimit) {
      outcome_.warnings.push_back("The PST file " + done.string() + " is " + gigabytes(size) +
                                  ", more than the 50 GB Outlook opens without a change to its MaxLargeFileSize "
                                  "setting; convert in parts with a size limit to stay below it.");
    }
  }

  // The messages of the part being written, when it cannot be completed: they are in no file.
  void loseCurrentPart(const std::filesystem::path& partFile) {
    for (size_t row : partRows_) {
      skip(rowText(row), "not converted: the PST file it was written to, " + partFile.filename().string() +
                             ", could not be completed (" + outcome_.failureCause + ")");
    }
    outcome_.imported -= partRows_.size();
    // Its warnings name a file that is not there.
    outcome_.warnings.resize(std::min(outcome_.warnings.size(), partWarningsFrom_));
    outcome_.markedDeleted -= partMarkedDeleted_;
    partRows_.clear();
    partMarkedDeleted_ = 0;
  }

  // The rows from endedAt_ on, which the run ended before converting.
  void listUntried(const std::string& reason) {
    for (size_t r = endedAt_; r < rows_.rows(); ++r) {
      const std::string text = rowText(r);
      if (!isBlank(text)) skip(text, reason);
    }
  }

  void finish() {
    view_.yield();
    const std::filesystem::path partFile = store_->filePath();
    const bool stoppedEmpty = settings_.accountForStop && outcome_.stopped && outcome_.pstParts.empty() &&
                              messagesInPart_ == 0 && outcome_.result == RunOutcome::Result::Done;
    try {
      if (outcome_.result == RunOutcome::Result::WriteFailed || stoppedEmpty) {
        store_->Abandon();  // no file is left that looks complete, nor one that holds nothing
      } else {
        completeStore();
      }
    } catch (const std::exception& e) {
      if (outcome_.result != RunOutcome::Result::WriteFailed) outcome_.failureCause = e.what();
      outcome_.result = RunOutcome::Result::WriteFailed;
    }
    // Every listed file is either in a completed file or named: the summary adds up.
    if (outcome_.result == RunOutcome::Result::WriteFailed) {
      loseCurrentPart(partFile);
      listUntried("not converted: the run ended when the PST file could not be written (" + outcome_.failureCause +
                  ")");
    } else if (settings_.accountForStop && outcome_.stopped) {
      listUntried("not converted: the run was stopped");
    }
    view_.yield();
    try {
      state_.session->Logoff();
    } catch (const std::exception&) {
    }
    state_.session.reset();
  }

  const RowSource& rows_;
  const RunSettings& settings_;
  RunView& view_;
  RunState& state_;
  RunOutcome outcome_;
  std::function<std::tm()> now_;
  std::optional<MessageStore> store_;
  std::string entryId_;
  std::string pstName_;      // of the first part's file
  std::string displayName_;  // of the current part's store
  FolderFailures failures_;
  // With a size limit: the current part's number, its folders and messages so far, and the
  // rows still to come for each folder.
  int part_ = 1;
  std::unordered_set<std::string> partFolders_;
  size_t messagesInPart_ = 0;
  std::unordered_map<std::string, uint64_t> rowsLeft_;
  // The rows saved in the current part (lost with it, should it fail), and how many of them
  // the server had marked deleted.
  std::vector<size_t> partRows_;
  size_t partMarkedDeleted_ = 0;
  size_t partWarningsFrom_ = 0;  // the first of the warnings about the current part
  // The first row the message pass did not finish, when it ended early.
  size_t endedAt_ = SIZE_MAX;
};

}  // namespace

RunOutcome runConversion(const RowSource& rows, const RunSettings& settings, RunView& view, RunState& state) {
  return Run(rows, settings, view, state).run();
}

}  // namespace conversion
