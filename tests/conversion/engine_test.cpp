// The conversion run over the in-memory store: folders, messages, names, progress and the
// ways a run can end.
#include <gtest/gtest.h>

#include "conversion/engine.h"
#include "conversion/folder_path.h"
#include "conversion/messaging.h"
#include "memory_backend.h"
#include "recording_view.h"
#include "temp_dir.h"

namespace conversion::test {
namespace {

namespace fs = std::filesystem;

std::tm june7() {
  std::tm t{};
  t.tm_year = 112;
  t.tm_mon = 5;
  t.tm_mday = 7;
  t.tm_hour = 21;
  t.tm_min = 5;
  t.tm_sec = 4;
  return t;
}

const std::string kStoreName = "MDaemon Messages : Created - 7.6.12 21.5.04";
const std::string kPstName = "Vantorel7.6.12 21.5.04.pst";

int32_t flagsOf(const pst::messaging::MessageContent& m) {
  for (const auto& p : m.props) {
    if (p.tag == kTagMessageFlags) return std::get<int32_t>(p.value);
  }
  return -1;
}

std::string subjectOf(const pst::messaging::MessageContent& m) {
  for (const auto& p : m.props) {
    if (p.tag == kTagSubject) return std::get<std::string>(p.value);
  }
  return {};
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
  RunOutcome run(std::vector<std::string> rows) {
    VectorRows source(std::move(rows));
    RunSettings settings;
    settings.outputFolder = out.path();
    settings.now = june7;
    settings.backend = memory.backend();
    return runConversion(source, settings, view, state);
  }
  const MemoryStoreRecord& store() const { return *memory.stores.at(0); }

  TempDir src, out;
  MemoryBackend memory{{"Deleted Items"}};
  RecordingView view;
  RunState state;
};

TEST_F(EngineTest, ThreeFilesShowCaptionsProgressAndEndInACompletedFile) {
  const auto a = message("Inbox/1.msg"), b = message("Inbox/2.msg"), c = message("Sent/3.msg");
  const RunOutcome outcome = run({a, b, c});

  ASSERT_EQ(outcome.result, RunOutcome::Result::Done);
  EXPECT_EQ(outcome.imported, 3u);
  EXPECT_TRUE(outcome.skipped.empty());
  EXPECT_FALSE(outcome.stopped);
  EXPECT_EQ(outcome.pstPath, out.path() / kPstName);
  EXPECT_TRUE(fs::exists(outcome.pstPath));
  EXPECT_FALSE(fs::exists(out.path() / (kPstName + ".part")));
  EXPECT_EQ(store().displayName, kStoreName);
  EXPECT_TRUE(store().closed);
  EXPECT_EQ(state.storeDisplayName, kStoreName);
  EXPECT_EQ(state.session, nullptr);

  EXPECT_EQ(view.frameCaptions, (std::vector<std::string>{"Details : Converting - (1 of 3) file(s)",
                                                          "Details : Converting - (2 of 3) file(s)",
                                                          "Details : Converting - (3 of 3) file(s)"}));
  EXPECT_EQ(view.currentCaptions[0], "Importing Messages... from (" + folder("Inbox") + ")");
  EXPECT_EQ(view.currentCaptions[2], "Importing Messages... from (" + folder("Sent") + ")");
  EXPECT_EQ(view.positions, (std::vector<float>{33.333332f, 66.666664f, 100.0f}));
  EXPECT_EQ(view.enabledStates, (std::vector<bool>{false, false, false}));
  EXPECT_EQ(view.selectedRows, (std::vector<size_t>{0, 1, 2}));

  // Imported in list order into the mirrored folders, read and never unsent.
  ASSERT_NE(store().at(folder("Inbox")), nullptr);
  const auto& inbox = store().at(folder("Inbox"))->messages;
  ASSERT_EQ(inbox.size(), 2u);
  EXPECT_EQ(store().at(folder("Sent"))->messages.size(), 1u);
  for (const auto& m : inbox) EXPECT_EQ(flagsOf(m), kMessageFlagRead);
}

TEST_F(EngineTest, AttachmentsAddTheirFlagToRead) {
  const RunOutcome outcome = run({message("A/1.msg", "Subject: with ATTACH"), message("A/2.msg")});
  ASSERT_EQ(outcome.imported, 2u);
  const auto& messages = store().at(folder("A"))->messages;
  EXPECT_EQ(flagsOf(messages[0]), kMessageFlagRead | kMessageFlagHasAttach);
  EXPECT_EQ(flagsOf(messages[1]), kMessageFlagRead);
}

TEST_F(EngineTest, FoldersAreCreatedParentsFirstAndOnceEach) {
  const std::string base = folder();
  run({message("A/B/C/x.msg"), message("A/y.msg"), message("A/B/C/z.msg")});
  const auto& created = store().createdPaths;
  // Every ancestor of the scratch folder first, then A, A\B, A\B\C.
  ASSERT_GE(created.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(created.end() - 3, created.end()),
            (std::vector<std::string>{base + "\\A", base + "\\A\\B", base + "\\A\\B\\C"}));
  EXPECT_EQ(std::set<std::string>(created.begin(), created.end()).size(), created.size());
  EXPECT_EQ(created.front(), SplitFolderPath(base).front());
  EXPECT_EQ(store().at(base + "\\A\\B\\C")->messages.size(), 2u);
  EXPECT_EQ(store().at(base + "\\A\\B")->messages.size(), 0u);
}

TEST_F(EngineTest, ExistingTopFolderIsReusedAndCaseMakesDistinctFolders) {
  // The first component of any absolute path is a top folder; point one at the preset folder.
  MemoryBackend preset({SplitFolderPath(folder()).front()});
  memory.stores.clear();
  VectorRows rows({message("Mail/1.msg"), message("mail/2.msg")});
  RunSettings settings{out.path(), june7, preset.backend()};
  const RunOutcome outcome = runConversion(rows, settings, view, state);
  ASSERT_EQ(outcome.imported, 2u);
  const auto& record = *preset.stores.at(0);
  EXPECT_EQ(record.folders[1].children.size(), 1u);  // the preset one, not a second
  ASSERT_NE(record.at(folder("Mail")), nullptr);
  ASSERT_NE(record.at(folder("mail")), nullptr);
  EXPECT_EQ(record.at(folder("Mail"))->messages.size(), 1u);
  EXPECT_EQ(record.at(folder("mail"))->messages.size(), 1u);
}

TEST_F(EngineTest, AFileListedTwiceIsImportedTwice) {
  const auto a = message("A/1.msg");
  EXPECT_EQ(run({a, a}).imported, 2u);
  EXPECT_EQ(store().at(folder("A"))->messages.size(), 2u);
}

TEST_F(EngineTest, UnusableEntriesAreSkippedReportedAndTheRestConverted) {
  const auto good1 = message("A/1.msg");
  const auto garbage = src.write("A/garbage.msg", "\x01\x02 binary junk without a header\n").string();
  const auto missing = (src.path() / "A/deleted.msg").string();
  const auto good2 = message("B/2.msg", "Subject: second");
  const RunOutcome outcome = run({good1, garbage, "/in-root.msg", missing, "relative/x.msg", good2});

  ASSERT_EQ(outcome.result, RunOutcome::Result::Done);
  EXPECT_EQ(outcome.imported, 2u);
  ASSERT_EQ(outcome.skipped.size(), 4u);
  EXPECT_EQ(outcome.skipped[0].path, garbage);
  EXPECT_EQ(outcome.skipped[0].reason, "not an Internet message");
  EXPECT_EQ(outcome.skipped[1].path, "/in-root.msg");
  EXPECT_EQ(outcome.skipped[2].path, missing);
  EXPECT_EQ(outcome.skipped[3].path, "relative/x.msg");
  // No empty item stands in for a skipped file.
  EXPECT_EQ(store().messageCount(), 2u);
  EXPECT_EQ(subjectOf(store().at(folder("B"))->messages.at(0)), "Subject: second");
  EXPECT_EQ(view.frameCaptions.back(), "Details : Converting - (6 of 6) file(s)");

  const std::string text = doneBoxText(outcome);
  EXPECT_EQ(text.rfind("Conversion Done !\r\n", 0), 0u);
  EXPECT_NE(text.find("4 files were skipped"), std::string::npos);
  EXPECT_NE(text.find(garbage + " - not an Internet message"), std::string::npos);
  EXPECT_NE(text.find(missing), std::string::npos);
}

TEST_F(EngineTest, DoneBoxListsTheFirstTenSkippedFiles) {
  std::vector<std::string> rows;
  for (int i = 0; i < 12; ++i) rows.push_back(src.write("A/" + std::to_string(i) + ".msg", "junk").string());
  const RunOutcome outcome = run(rows);
  EXPECT_EQ(outcome.skipped.size(), 12u);
  const std::string text = doneBoxText(outcome);
  EXPECT_NE(text.find(rows[9]), std::string::npos);
  EXPECT_EQ(text.find(rows[10]), std::string::npos);
  EXPECT_NE(text.find("and 2 more."), std::string::npos);
  // The file is still made: whatever could be converted is in it.
  EXPECT_TRUE(fs::exists(outcome.pstPath));
}

TEST_F(EngineTest, AnEmptyListCreatesNothing) {
  const RunOutcome outcome = run({""});
  EXPECT_EQ(outcome.result, RunOutcome::Result::EmptyList);
  EXPECT_TRUE(fs::is_empty(out.path()));
  EXPECT_TRUE(memory.stores.empty());
  EXPECT_EQ(run({}).result, RunOutcome::Result::EmptyList);
  EXPECT_FALSE(emptyListBoxText().empty());
}

TEST_F(EngineTest, ATakenNameGetsANumberAndNothingIsOverwritten) {
  std::ofstream(out.path() / kPstName) << "earlier";
  std::ofstream(out.path() / "Vantorel7.6.12 21.5.04 (2).pst.part") << "someone else's";
  const RunOutcome outcome = run({message("A/1.msg")});
  EXPECT_EQ(outcome.pstPath, out.path() / "Vantorel7.6.12 21.5.04 (3).pst");
  std::ifstream earlier(out.path() / kPstName);
  std::string content;
  std::getline(earlier, content);
  EXPECT_EQ(content, "earlier");
  EXPECT_TRUE(fs::exists(out.path() / "Vantorel7.6.12 21.5.04 (2).pst.part"));
}

TEST_F(EngineTest, TheFileIsWrittenAsPartAndRenamedAtTheEnd) {
  bool partSeen = false, finalSeen = false;
  view.onMessage = [&](size_t) {
    partSeen = fs::exists(out.path() / (kPstName + ".part"));
    finalSeen = fs::exists(out.path() / kPstName);
  };
  const RunOutcome outcome = run({message("A/1.msg")});
  EXPECT_TRUE(partSeen);
  EXPECT_FALSE(finalSeen);
  EXPECT_TRUE(fs::exists(outcome.pstPath));
  EXPECT_FALSE(fs::exists(out.path() / (kPstName + ".part")));
}

TEST_F(EngineTest, AStopRequestKeepsEverythingSavedSoFar) {
  view.stopAfter = 2;
  const RunOutcome outcome = run({message("A/1.msg"), message("A/2.msg"), message("A/3.msg"), message("A/4.msg")});
  EXPECT_EQ(outcome.result, RunOutcome::Result::Done);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(outcome.imported, 2u);
  EXPECT_EQ(outcome.listed, 4u);
  EXPECT_TRUE(store().closed);
  EXPECT_TRUE(fs::exists(outcome.pstPath));
  EXPECT_EQ(store().messageCount(), 2u);
  EXPECT_NE(doneBoxText(outcome).find("2 of 4"), std::string::npos);
}

TEST_F(EngineTest, AFileThatCannotBeCreatedFailsPreparationWithItsCause) {
  const fs::path blocker = out.write("not-a-folder", "x");
  VectorRows rows({message("A/1.msg")});
  RunSettings settings{blocker / "sub", june7, memory.backend()};
  const RunOutcome outcome = runConversion(rows, settings, view, state);
  EXPECT_EQ(outcome.result, RunOutcome::Result::PreparationFailed);
  EXPECT_NE(outcome.failureCause.find((blocker / "sub" / (kPstName + ".part")).string()), std::string::npos);
  EXPECT_NE(outcome.failureCause.find("Not a directory"), std::string::npos);
  const std::string text = preparationFailureBoxText(outcome.failureCause);
  EXPECT_EQ(text,
            "Outlook Session Creation Error !\r\nCheck if Outlook is installed and configured.\r\n"
            "For more details visit this link : https://vantorel.org/help/#troubleshooting\r\n" +
                outcome.failureCause);
  EXPECT_TRUE(view.frameCaptions.empty());
}

TEST_F(EngineTest, AFolderThatCannotBeCreatedTakesNoMessagesAndMisplacesNothing) {
  memory.faults->refusedFolderNames = {"B"};
  const RunOutcome outcome = run({message("A/B/C/1.msg"), message("A/2.msg")});
  EXPECT_EQ(outcome.imported, 1u);
  ASSERT_EQ(outcome.skipped.size(), 1u);
  EXPECT_NE(outcome.skipped[0].reason.find("refused folder name B"), std::string::npos);
  // C must not turn up below A, where a partial lookup of A\B ends.
  EXPECT_EQ(store().at(folder("A/C")), nullptr);
  EXPECT_EQ(store().at(folder("A"))->children.size(), 0u);
}

TEST_F(EngineTest, AFileThatCannotBeCompletedIsAFailureNotDone) {
  memory.faults->failClose = true;
  const RunOutcome outcome = run({message("A/1.msg")});
  EXPECT_EQ(outcome.result, RunOutcome::Result::WriteFailed);
  EXPECT_NE(outcome.failureCause.find("No space left"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(out.path()));
  EXPECT_NE(writeFailureBoxText(outcome.failureCause).find("No space left"), std::string::npos);
}

TEST_F(EngineTest, AMessageThatCannotBeWrittenIsSkippedWithTheCause) {
  memory.faults->failAddMessageFrom = 1;
  const RunOutcome outcome = run({message("A/1.msg"), message("A/2.msg")});
  EXPECT_EQ(outcome.imported, 1u);
  ASSERT_EQ(outcome.skipped.size(), 1u);
  EXPECT_NE(outcome.skipped[0].reason.find("No space left"), std::string::npos);
}

TEST_F(EngineTest, ABackslashInASourceFolderNameStaysOneFolder) {
  const RunOutcome outcome = run({message("a\\b/1.msg"), message("a/b/2.msg")});
  EXPECT_EQ(outcome.imported, 2u);
  const std::string standIn(kBackslashStandIn);
  ASSERT_NE(store().at(folder() + "\\a" + standIn + "b"), nullptr);
  EXPECT_EQ(store().at(folder() + "\\a" + standIn + "b")->messages.size(), 1u);
  EXPECT_EQ(store().at(folder() + "\\a\\b")->messages.size(), 1u);
}

TEST_F(EngineTest, SpacesAroundAnEntryAreIgnoredUnlessTheFileIsNamedSo) {
  const auto plain = message("A/1.msg");
  const auto spaced = message("A/2.msg ");
  EXPECT_EQ(run({"  " + plain + "  ", spaced}).imported, 2u);
}

}  // namespace
}  // namespace conversion::test
