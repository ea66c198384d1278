#include "conversion/engine.h"

#include <algorithm>
#include <exception>
#include <map>
#include <optional>
#include <unordered_map>

#include "conversion/allocator_tuning.h"
#include "conversion/file_importer.h"
#include "conversion/folder_path.h"
#include "conversion/messaging.h"
#include "conversion/open_mapi_folder.h"
#include "conversion/pst_file_name.h"

namespace conversion {

namespace {

bool isBlank(const std::string& text) { return text.find_first_not_of(' ') == std::string::npos; }

std::string trimSpaces(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::tm localNow() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

// The file to import. Spaces around a listed path are no part of it, unless a file really
// is named so (legal here, and the list holds real names).
std::filesystem::path importPath(const std::string& text) {
  std::string trimmed = trimSpaces(text);
  if (trimmed != text) {
    std::error_code ec;
    if (std::filesystem::exists(text, ec)) return text;
  }
  return trimmed;
}

int32_t messageFlags(const MailItem& item) {
  return kMessageFlagRead | (item.hasAttachments() ? kMessageFlagHasAttach : 0);
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
    createFolders();
    announceFolderSizes();
    importMessages();
    finish();
    return outcome_;
  }

 private:
  bool anyListed() const {
    const size_t n = rows_.rows();
    for (size_t r = 0; r < n; ++r) {
      if (!isBlank(rows_.text(r))) return true;
    }
    return false;
  }

  std::string rowText(size_t row) const { return row < rows_.rows() ? rows_.text(row) : std::string(); }

  void skip(const std::string& path, std::string reason) {
    outcome_.skipped.push_back(SkippedEntry{path, std::move(reason)});
  }

  bool stopping() {
    if (!outcome_.stopped && view_.stopRequested()) outcome_.stopped = true;
    return outcome_.stopped;
  }

  bool prepare() {
    try {
      const auto now = settings_.now ? settings_.now : localNow;
      state_.outputFolder = std::filesystem::absolute(settings_.outputFolder.empty()
                                                          ? std::filesystem::path(".")
                                                          : settings_.outputFolder);
      state_.session = std::make_shared<Session>(settings_.backend);
      state_.session->Logon();
      const std::filesystem::path pstPath = state_.outputFolder / PstFileName(FormatTimestamp(now()));
      state_.storeDisplayName = StoreDisplayName(FormatTimestamp(now()));
      store_ = state_.session->Stores().AddPSTStore(pstPath, kStoreFormatDefault, state_.storeDisplayName);
      entryId_ = store_->EntryID();

      // Rows of one folder come together; keeping one entry per run of them gives the same
      // sorted, distinct list without a string per row (a million rows cost 120 MB).
      const size_t n = rows_.rows();
      std::vector<std::string> paths;
      for (size_t r = 0; r < n; ++r) {
        std::string folder = FolderPathOf(rows_.text(r)).value_or(std::string());
        if (paths.empty() || paths.back() != folder) paths.push_back(std::move(folder));
      }
      state_.folderList = BuildFolderList(paths, [this] { view_.yield(); });
      return true;
    } catch (const std::exception& e) {
      outcome_.result = RunOutcome::Result::PreparationFailed;
      outcome_.failureCause = e.what();
      return false;
    }
  }

  void createFolders() {
    Session& session = *state_.session;
    for (const std::string& entry : state_.folderList) {
      if (stopping()) return;
      const std::vector<std::string> components = SplitFolderPath(entry);
      try {
        if (components.size() == 1) {
          MessageStore store = session.Stores().GetStoreFromID(entryId_);
          FolderCollection top = store.IPMRootFolder().Folders();
          // A folder the new store already has is used as it is.
          const bool exists = top.Find(entry).has_value();
          if (!exists) top.Add(entry, kFolderTypeMail);
          view_.yield();
          continue;
        }
        const std::string parentPath = entry.substr(0, entry.size() - components.back().size() - 1);
        if (const std::string* why = failures_.find(parentPath)) {
          failures_.add(entry, *why);
          continue;
        }
        bool complete = false;
        std::optional<Folder> parent =
            OpenMAPIFolder(session, "\\" + state_.storeDisplayName + "\\" + parentPath, &complete);
        view_.yield();
        // A partial lookup ends at an ancestor; creating the folder there would misplace it.
        if (!parent || !complete) throw MessagingError("its parent folder " + parentPath + " was not found");
        parent->Folders().Add(components.back(), kFolderTypeMail);
        view_.yield();
      } catch (const std::exception& e) {
        failures_.add(entry, std::string("the folder ") + entry + " could not be created: " + e.what());
      }
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
      const std::optional<std::string> folderPath = FolderPathOf(rows_.text(r));
      if (!folderPath) continue;
      if (!last || *folderPath != lastPath) {
        lastPath = *folderPath;
        last = &perPath[lastPath];
      }
      ++*last;
    }
    const std::string storePrefix = "\\\\" + state_.storeDisplayName + "\\";
    std::vector<std::pair<Folder, uint64_t>> counts;
    try {
      for (const auto& [path, count] : perPath) {
        if (!failures_.find(path)) counts.emplace_back(state_.session->GetFolderFromPath(storePrefix + path), count);
      }
      store_->ExpectItems(counts);
    } catch (const std::exception&) {
      // Only a hint: without it the messages are numbered one by one as they come.
    }
  }

  void importMessages() {
    tuneAllocatorForConversion();
    Session& session = *state_.session;
    const size_t count = rows_.rows();
    for (size_t r = 0; r < count; ++r) {
      if (!isBlank(rows_.text(r))) ++outcome_.listed;
    }
    const std::string storePrefix = "\\\\" + state_.storeDisplayName + "\\";
    // A file read elsewhere may take long (up to the readers' time limit): meanwhile the window
    // is served, and a stop ends the pass at once rather than after that file.
    session.SetImportWaitHandler([this] {
      view_.yield();
      return !stopping();
    });
    size_t announced = 0;
    for (size_t i = 0; i < count; ++i) {
      if (stopping()) return;
      announced = announceImports(announced, std::min(count, i + kImportLookAhead));
      view_.selectRow(i);
      view_.yield();
      const std::string text = rowText(i);
      std::string reason;
      const std::optional<std::string> folderPath = FolderPathOf(text, &reason);
      if (!folderPath) {
        if (!isBlank(text)) skip(text, reason);
      } else if (const std::string* why = failures_.find(*folderPath)) {
        skip(text, *why);
      } else {
        try {
          Folder folder = session.GetFolderFromPath(storePrefix + *folderPath);
          MailItem item = folder.Items().Add(kItemTypeMail);
          item.Import(importPath(text), kImportFormatRfc822);
          MAPIUtils().HrSetOneProp(item.MAPIOBJECT(), kTagMessageFlags, messageFlags(item), true);
          item.Save();
          ++outcome_.imported;
        } catch (const ImportStopped&) {
          return;  // stopping() already recorded it
        } catch (const StoreWriteFailed& e) {
          // Every later message would fail the same way: the run ends now, and says why.
          outcome_.result = RunOutcome::Result::WriteFailed;
          outcome_.failureCause = e.what();
          return;
        } catch (const std::exception& e) {
          skip(text, e.what());
        }
      }
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
      const std::optional<std::string> folderPath = FolderPathOf(text);
      if (folderPath && !failures_.find(*folderPath)) state_.session->ExpectFile(importPath(text));
    }
    return std::max(from, to);
  }

  void finish() {
    view_.yield();
    try {
      if (outcome_.result == RunOutcome::Result::WriteFailed) {
        store_->Abandon();  // no file is left that looks complete
      } else {
        store_->Remove();
        outcome_.pstPath = store_->filePath();
      }
    } catch (const std::exception& e) {
      if (outcome_.result != RunOutcome::Result::WriteFailed) outcome_.failureCause = e.what();
      outcome_.result = RunOutcome::Result::WriteFailed;
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
  std::optional<MessageStore> store_;
  std::string entryId_;
  FolderFailures failures_;
};

}  // namespace

RunOutcome runConversion(const RowSource& rows, const RunSettings& settings, RunView& view, RunState& state) {
  return Run(rows, settings, view, state).run();
}

}  // namespace conversion
