// The conversion run over the in-memory store: folders, messages, names, progress and the
// ways a run can end.
#include <gtest/gtest.h>

#include <algorithm>

#include "conversion/drive_roots.h"
#include "conversion/engine.h"
#include "conversion/folder_path.h"
#include "conversion/messaging.h"
#include "conversion/store_backend.h"
#include "memory_backend.h"
#include "recording_view.h"
#include "temp_dir.h"

namespace conversion::test {
namespace {

namespace fs = std::filesystem;

std::tm june7() {
  std::tm t{};
  t.tm_year = 112, t.tm_mon = 5, t.tm_mday = 7, t.tm_hour = 21, t.tm_min = 5, t.tm_sec = 4;
  return t;
}

const std::string kPstName = "Vantorel7.6.12 21.5.04.pst";

int32_t flagsOf(const pst::messaging::MessageContent& m) {
  for (const auto& p : m.props) {
    if (p.tag == kTagMessageFlags) return std::get<int32_t>(p.value);
  }
  return -1;
}

class EngineTest : public ::testing::Test {
 protected:
  // The store folder path of a source folder below the scratch folder.
  std::string folder(const std::string& relative = "") const {
    return *FolderPathOf((src.path() / relative / "x.msg").string());
  }
  std::string message(const std::string& relative, const std::string& subject = "Subject: hi") const {
    return src.write(relative, subject + "\n\nbody\n").string();
  }
  RunOutcome run(std::vector<std::string> rows, MemoryBackend* backend = nullptr) {
    VectorRows source(std::move(rows));
    RunSettings settings{.outputFolder = out.path(), .now = june7, .backend = (backend ? backend : &memory)->backend()};
    return runConversion(source, settings, view, state);
  }
  const MemoryStoreRecord& store() const { return *memory.stores.at(0); }

  TempDir src, out;
  MemoryBackend memory;
  RecordingView view;
  RunState state;
};

TEST_F(EngineTest, ImportsInListOrderWithCaptionsProgressAndFlags) {
  const auto a = message("Inbox/1.msg"), c = message("Sent/3.msg", "Subject: with ATTACH");
  bool partWhileRunning = false, finalWhileRunning = false;
  view.onMessage = [&](size_t) {
    partWhileRunning = fs::exists(out.path() / (kPstName + ".part"));
    finalWhileRunning = fs::exists(out.path() / kPstName);
  };
  const RunOutcome outcome = run({a, a, c});  // a file listed twice is imported twice

  ASSERT_EQ(outcome.result, RunOutcome::Result::Done);
  EXPECT_EQ(outcome.imported, 3u);
  EXPECT_EQ(outcome.pstPath, out.path() / kPstName);
  EXPECT_TRUE(partWhileRunning);
  EXPECT_FALSE(finalWhileRunning);
  EXPECT_TRUE(fs::exists(outcome.pstPath));
  EXPECT_FALSE(fs::exists(out.path() / (kPstName + ".part")));
  EXPECT_EQ(store().displayName, "MDaemon Messages : Created - 7.6.12 21.5.04");
  EXPECT_EQ(state.session, nullptr);

  EXPECT_EQ(view.frameCaptions, (std::vector<std::string>{"Details : Converting - (1 of 3) file(s)",
                                                          "Details : Converting - (2 of 3) file(s)",
                                                          "Details : Converting - (3 of 3) file(s)"}));
  EXPECT_EQ(view.currentCaptions[2], "Importing Messages... from (" + folder("Sent") + ")");
  EXPECT_EQ(view.positions, (std::vector<float>{33.333332f, 66.666664f, 100.0f}));
  EXPECT_EQ(view.enabledStates, (std::vector<bool>{false, false, false}));
  EXPECT_EQ(view.selectedRows, (std::vector<size_t>{0, 1, 2}));

  const auto& inbox = store().at(folder("Inbox"))->messages;
  ASSERT_EQ(inbox.size(), 2u);
  EXPECT_EQ(flagsOf(inbox[0]), kMessageFlagRead);  // read, never unsent
  EXPECT_EQ(flagsOf(store().at(folder("Sent"))->messages.at(0)), kMessageFlagRead | kMessageFlagHasAttach);
}

TEST_F(EngineTest, FoldersAreCreatedParentsFirstAndOnceEach) {
  const std::string base = folder();
  run({message("A/B/C/x.msg"), message("A/y.msg"), message("A/B/C/z.msg")});
  const auto& created = store().createdPaths;
  ASSERT_GE(created.size(), 3u);
  EXPECT_EQ(created.front(), SplitFolderPath(base).front());
  EXPECT_EQ(std::vector<std::string>(created.end() - 3, created.end()),
            (std::vector<std::string>{base + "\\A", base + "\\A\\B", base + "\\A\\B\\C"}));
  EXPECT_EQ(std::set<std::string>(created.begin(), created.end()).size(), created.size());
  EXPECT_EQ(store().at(base + "\\A\\B\\C")->messages.size(), 2u);
}

TEST_F(EngineTest, NamesDifferingInCaseOrHoldingABackslashStayDistinctFolders) {
#ifdef _WIN32  // a backslash separates folders there, as "/" does
  const RunOutcome outcome = run({message("Mail/1.msg"), message("mail/2.msg")});
  EXPECT_EQ(outcome.imported, 2u);
  for (const std::string& path : {folder("Mail"), folder("mail")}) {
#else
  const RunOutcome outcome =
      run({message("Mail/1.msg"), message("mail/2.msg"), message("a\\b/3.msg"), message("a/b/4.msg")});
  EXPECT_EQ(outcome.imported, 4u);
  for (const std::string& path : {folder("Mail"), folder("mail"), folder() + "\\a" + std::string(kBackslashStandIn) + "b",
                                 folder("a/b")}) {
#endif
    ASSERT_NE(store().at(path), nullptr) << path;
    EXPECT_EQ(store().at(path)->messages.size(), 1u) << path;
  }
}

TEST_F(EngineTest, ATopFolderTheStoreAlreadyHasIsReused) {
  MemoryBackend preset({SplitFolderPath(folder()).front()});
  EXPECT_EQ(run({message("Mail/1.msg")}, &preset).imported, 1u);
  EXPECT_EQ(preset.stores.at(0)->folders[1].children.size(), 1u);
}

TEST_F(EngineTest, UnusableEntriesAreSkippedReportedAndTheRestConverted) {
  std::vector<std::string> rows{message("A/1.msg")};
  for (int i = 0; i < 10; ++i) rows.push_back(src.write("A/junk" + std::to_string(i) + ".msg", "\x01junk").string());
  const std::string missing = (src.path() / "A/deleted.msg").string();
  rows.insert(rows.end(), {"/in-root.msg", missing, "relative/x.msg", message("B/2.msg")});
  const RunOutcome outcome = run(rows);

  ASSERT_EQ(outcome.result, RunOutcome::Result::Done);
  EXPECT_EQ(outcome.imported, 2u);
  EXPECT_EQ(store().messageCount(), 2u);  // no empty item stands in for a skipped file
  ASSERT_EQ(outcome.skipped.size(), 13u);
  EXPECT_EQ(outcome.skipped[0].reason, "not an Internet message");
  EXPECT_EQ(outcome.skipped[10].path, "/in-root.msg");
  EXPECT_EQ(outcome.skipped[11].path, missing);
  EXPECT_EQ(view.frameCaptions.back(), "Details : Converting - (15 of 15) file(s)");

  const std::string text = doneBoxText(outcome);
  EXPECT_EQ(text.rfind("Conversion Done !\r\n", 0), 0u);
  EXPECT_NE(text.find("13 files were skipped"), std::string::npos);
  EXPECT_NE(text.find(rows[10] + " - not an Internet message"), std::string::npos);
  EXPECT_EQ(text.find("/in-root.msg"), std::string::npos);  // the eleventh
  EXPECT_NE(text.find("and 3 more."), std::string::npos);
}

TEST_F(EngineTest, AnEmptyListCreatesNothing) {
  EXPECT_EQ(run({""}).result, RunOutcome::Result::EmptyList);
  EXPECT_EQ(run({}).result, RunOutcome::Result::EmptyList);
  EXPECT_TRUE(fs::is_empty(out.path()));
  EXPECT_TRUE(memory.stores.empty());
}

TEST_F(EngineTest, ATakenNameGetsANumberAndNothingIsOverwritten) {
  out.write(kPstName, "earlier");
  out.write("Vantorel7.6.12 21.5.04 (2).pst.part", "being written by another run");
  EXPECT_EQ(run({message("A/1.msg")}).pstPath, out.path() / "Vantorel7.6.12 21.5.04 (3).pst");
  std::string content;
  std::getline(std::ifstream(out.path() / kPstName), content);
  EXPECT_EQ(content, "earlier");
}

TEST_F(EngineTest, AStopRequestKeepsEverythingSavedSoFar) {
  view.stopAfter = 2;
  const RunOutcome outcome = run({message("A/1.msg"), message("A/2.msg"), message("A/3.msg"), message("A/4.msg")});
  EXPECT_EQ(outcome.result, RunOutcome::Result::Done);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.imported, 2u);
  EXPECT_TRUE(store().closed);
  EXPECT_EQ(store().messageCount(), 2u);
  EXPECT_TRUE(fs::exists(outcome.pstPath));
  EXPECT_NE(doneBoxText(outcome).find("2 of 4"), std::string::npos);
}

// The window shows this box and the command line its cause, instead of a run that skips all.
TEST_F(EngineTest, WithoutAReaderTheRunStopsBeforeAnyFileAndSaysWhy) {
  auto backend = std::make_shared<MessagingBackend>(*memory.backend());
  backend->openImporter = [](bool) -> std::unique_ptr<FileImporter> {
    throw ImporterUnavailable("no message reader could be started: the reason");
  };
  VectorRows rows({message("A/1.msg")});
  RunSettings settings{.outputFolder = out.path(), .now = june7, .backend = backend};
  const RunOutcome outcome = runConversion(rows, settings, view, state);
  EXPECT_EQ(outcome.result, RunOutcome::Result::ReadersFailed);
  EXPECT_EQ(outcome.failureCause, "no message reader could be started: the reason");
  EXPECT_TRUE(fs::is_empty(out.path()));
  EXPECT_EQ(readerFailureBoxText(outcome.failureCause),
            "No message could be read, so nothing was converted and no PST file was made.\r\n"
            "no message reader could be started: the reason\r\n"
            "Reinstall Vantorel if its reader program is missing or damaged, or close other programs if a limit "
            "was reached, then convert again.");
}

TEST_F(EngineTest, AFileThatCannotBeCreatedFailsPreparationWithItsCause) {
  const fs::path blocker = out.write("not-a-folder", "x");
  VectorRows rows({message("A/1.msg")});
  RunSettings settings{.outputFolder = blocker / "sub", .now = june7, .backend = memory.backend()};
  const RunOutcome outcome = runConversion(rows, settings, view, state);
  EXPECT_EQ(outcome.result, RunOutcome::Result::PreparationFailed);
#ifdef _WIN32
  const std::string cause = ": No such file or directory";
#else
  const std::string cause = ": Not a directory";
#endif
  EXPECT_NE(outcome.failureCause.find((blocker / "sub" / (kPstName + ".part")).string() + cause), std::string::npos)
      << outcome.failureCause;
  EXPECT_EQ(preparationFailureBoxText(outcome.failureCause),
            "Outlook Session Creation Error !\r\nCheck if Outlook is installed and configured.\r\n"
            "For more details visit this link : https://vantorel.org/help/#troubleshooting\r\n" +
                outcome.failureCause);
}

TEST_F(EngineTest, AFolderThatCannotBeCreatedTakesNoMessagesAndMisplacesNothing) {
  memory.faults->refusedFolderNames = {"B"};
  const RunOutcome outcome = run({message("A/B/C/1.msg"), message("A/2.msg")});
  EXPECT_EQ(outcome.imported, 1u);
  ASSERT_EQ(outcome.skipped.size(), 1u);
  EXPECT_NE(outcome.skipped[0].reason.find("refused folder name B"), std::string::npos);
  // A lookup of A\B ends at A; C must not be created there.
  EXPECT_TRUE(store().at(folder("A"))->children.empty());
}

TEST_F(EngineTest, TheStoreLearnsHowManyFilesEachFolderWillGetBeforeTheFirstMessage) {
  memory.faults->refusedFolderNames = {"B"};
  size_t announcedBeforeFirst = 0;
  view.onMessage = [&](size_t) {
    if (announcedBeforeFirst == 0) announcedBeforeFirst = store().announced.size();
  };
  const auto one = message("Inbox/1.msg");
  run({one, message("Sent/2.msg"), message("Inbox/3.msg"), one, message("B/4.msg"), "  "});
  EXPECT_EQ(store().announced, (std::map<std::string, uint64_t>{{folder("Inbox"), 3}, {folder("Sent"), 1}}));
  EXPECT_EQ(announcedBeforeFirst, 2u);
}

TEST_F(EngineTest, AFileThatCannotBeCompletedIsAFailureNotDone) {
  memory.faults->failClose = true;
  const auto one = message("A/1.msg");
  const RunOutcome outcome = run({one});
  EXPECT_EQ(outcome.result, RunOutcome::Result::WriteFailed);
  EXPECT_NE(outcome.failureCause.find("No space left"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(out.path()));
  // Its message is in no file: not counted, and named.
  EXPECT_EQ(outcome.imported, 0u);
  ASSERT_EQ(outcome.skipped.size(), 1u);
  EXPECT_EQ(outcome.skipped[0].path, one);
  EXPECT_EQ(outcome.skipped[0].reason.rfind("not converted: the PST file it was written to, " + kPstName +
                                                ", could not be completed (Cannot write ",
                                            0),
            0u)
      << outcome.skipped[0].reason;

  // A failed write ends the pass at once: no later message is tried, nothing looks complete.
  MemoryBackend full;
  full.faults->failWritesAfter = 1;
  view = RecordingView();
  const RunOutcome stopped = run({message("A/1.msg"), message("A/2.msg"), message("A/3.msg")}, &full);
  EXPECT_EQ(stopped.result, RunOutcome::Result::WriteFailed);
  EXPECT_NE(stopped.failureCause.find("No space left"), std::string::npos);
  EXPECT_EQ(stopped.imported, 0u);
  ASSERT_EQ(stopped.skipped.size(), 3u);
  EXPECT_NE(stopped.skipped[0].reason.find("it was written to"), std::string::npos);
  EXPECT_EQ(stopped.skipped[2].reason.rfind("not converted: the run ended when the PST file could not be written (", 0),
            0u);
  EXPECT_EQ(view.frameCaptions.size(), 1u);
  EXPECT_FALSE(full.stores.at(0)->closed);
  EXPECT_TRUE(fs::is_empty(out.path()));
}

TEST_F(EngineTest, APartThatCannotBeWrittenLosesItsOwnMessagesAndNamesEveryMessageNotKept) {
  // Two messages to a part; the disk is full after the third message, in part 2.
  memory.faults->messagesPerFile = 2;
  memory.faults->failWritesAfter = 3;
  std::vector<std::string> rows;
  for (int n = 1; n <= 6; ++n) rows.push_back(message("A/" + std::to_string(n) + ".msg"));
  VectorRows source(rows);
  RunSettings settings{.outputFolder = out.path(), .now = june7, .backend = memory.backend(), .maxPstSize = 1000};
  // A ledger is told which files each completed PST holds, and of no PST that was not completed.
  std::vector<std::string> told;
  settings.fileSaved = [&](const std::string& file, const std::string& folder, const auto&) {
    told.push_back(file + " in " + folder);
  };
  settings.pstCompleted = [&](const fs::path& pst) { told.push_back("completed " + pst.filename().string()); };
  const RunOutcome outcome = runConversion(source, settings, view, state);
  EXPECT_EQ(outcome.result, RunOutcome::Result::WriteFailed);
  EXPECT_EQ(outcome.pstParts, (std::vector<fs::path>{out.path() / kPstName}));
  const std::string folder = FolderPathOf(rows[0]).value();
  ASSERT_GE(told.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(told.begin(), told.begin() + 3),
            (std::vector<std::string>{rows[0] + " in " + folder, rows[1] + " in " + folder, "completed " + kPstName}));
  EXPECT_EQ(std::count_if(told.begin(), told.end(), [](const std::string& t) { return t.starts_with("completed"); }), 1);
  settings.fileSaved = nullptr;
  settings.pstCompleted = nullptr;
  EXPECT_EQ(outcome.imported, 2u);
  ASSERT_EQ(outcome.skipped.size(), 4u);
  EXPECT_EQ(outcome.skipped[0].path, rows[2]);
  EXPECT_EQ(outcome.skipped[0].reason.rfind("not converted: the PST file it was written to, Vantorel7.6.12 21.5.04 "
                                            "(part 2).pst, could not be completed (Cannot write ",
                                            0),
            0u)
      << outcome.skipped[0].reason;
  for (size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(outcome.skipped[i].path, rows[i + 2]);
    EXPECT_NE(outcome.skipped[i].reason.find("the run ended when the PST file could not be written"),
              std::string::npos);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(out.path()), fs::directory_iterator()), 1);

  // A part's name that would be too long is shortened at a character, not refused.
  MemoryBackend oneEach;
  oneEach.faults->messagesPerFile = 1;
  std::string name;
  for (int i = 0; i < 120; ++i) name += "\xC3\xA9";  // 240 bytes of "é"
  settings.pstName = name;
  settings.backend = oneEach.backend();
  VectorRows two({rows[0], rows[1]});
  const RunOutcome parts = runConversion(two, settings, view, state);
  ASSERT_EQ(parts.result, RunOutcome::Result::Done) << parts.failureCause;
  ASSERT_EQ(parts.pstParts.size(), 2u);
  EXPECT_EQ(parts.pstParts[0].filename().string(), name + ".pst");
  EXPECT_EQ(parts.pstParts[1].filename().string(), name.substr(0, 236) + " (part 2).pst");
  EXPECT_TRUE(fs::exists(parts.pstParts[1]));
  EXPECT_EQ(parts.imported, 2u);

  // A delta run's suffix comes before the part number.
  settings.pstName = "alice@example.com";
  settings.pstNameSuffix = " (delta 2012-06-07)";
  const RunOutcome delta = runConversion(two, settings, view, state);
  ASSERT_EQ(delta.pstParts.size(), 2u);
  EXPECT_EQ(delta.pstParts[0].filename(), "alice@example.com (delta 2012-06-07).pst");
  EXPECT_EQ(delta.pstParts[1].filename(), "alice@example.com (delta 2012-06-07) (part 2).pst");
}

TEST_F(EngineTest, ARunOfSeveralStoppedNamesWhatItDidNotConvertAndLeavesNoEmptyFile) {
  const std::vector<std::string> rows{message("A/1.msg"), message("A/2.msg"), message("A/3.msg")};
  VectorRows source(rows);
  RunSettings settings{.outputFolder = out.path(), .now = june7, .backend = memory.backend()};
  settings.accountForStop = true;
  view.stopAfter = 1;
  const RunOutcome outcome = runConversion(source, settings, view, state);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.imported, 1u);
  ASSERT_EQ(outcome.skipped.size(), 2u);
  EXPECT_EQ(outcome.skipped[0].path, rows[1]);
  EXPECT_EQ(outcome.skipped[1].reason, "not converted: the run was stopped");
  EXPECT_TRUE(fs::exists(outcome.pstPath));

  fs::remove(outcome.pstPath);
  view = RecordingView();
  view.stopAfter = 0;
  const RunOutcome none = runConversion(source, settings, view, state);
  EXPECT_EQ(none.result, RunOutcome::Result::Done);
  EXPECT_EQ(none.skipped.size(), 3u);
  EXPECT_TRUE(none.pstParts.empty());
  EXPECT_TRUE(fs::is_empty(out.path()));
}

TEST_F(EngineTest, WhatTheListingSkippedComesFirstAmongTheSkippedAndTheRunIsNotAllDone) {
  VectorRows rows({message("A/1.msg")});
  RunSettings settings{.outputFolder = out.path(), .now = june7, .backend = memory.backend()};
  settings.skippedWhenListed = {{"/store/locked/", "the folder could not be read (Permission denied)"},
                                {"/store/pipe.msg", "not a regular file (a named pipe)"}};
  const RunOutcome outcome = runConversion(rows, settings, view, state);
  EXPECT_EQ(outcome.imported, 1u);
  ASSERT_EQ(outcome.skipped.size(), 2u);
  EXPECT_EQ(outcome.skipped[0].path, "/store/locked/");
  EXPECT_NE(doneBoxText(outcome).find("1 folder and 1 file were skipped and are not in the PST file:\r\n"
                                      "/store/locked/ - the folder could not be read (Permission denied)\r\n"
                                      "/store/pipe.msg - not a regular file (a named pipe)"),
            std::string::npos)
      << doneBoxText(outcome);
}

#ifndef _WIN32
TEST_F(EngineTest, UnderWslAStoreOnDriveCMirrorsFromTheDriveRoot) {
  OverrideWslDetection(true, (src.path() / "mnt").string());
  const RunOutcome outcome = run({message("mnt/c/MDaemon/Users/example.com/bob/1.msg"),
                                  message("mnt/c/MDaemon/Users/example.com/bob/Sent.IMAP/2.msg")});
  OverrideWslDetection(std::nullopt);
  EXPECT_EQ(outcome.imported, 2u);
  EXPECT_EQ(store().createdPaths,
            (std::vector<std::string>{"MDaemon", "MDaemon\\Users", "MDaemon\\Users\\example.com",
                                      "MDaemon\\Users\\example.com\\bob",
                                      "MDaemon\\Users\\example.com\\bob\\Sent.IMAP"}));
}
#endif

}  // namespace
}  // namespace conversion::test
