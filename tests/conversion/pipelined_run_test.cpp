// A run that reads and parses ahead must write the same PST as one that imports each file
// when it reaches it: same messages in the same folders, same skips, same progress, and a
// stop still ends the pass after the current message.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sstream>

#include "conversion/engine.h"
#include "conversion/store_backend.h"
#include "pst/verify/verify.h"
#include "recording_view.h"
#include "temp_dir.h"

namespace conversion::test {
namespace {

namespace fs = std::filesystem;

std::tm fixedTime() {
  std::tm t{};
  t.tm_year = 126, t.tm_mon = 11, t.tm_mday = 7, t.tm_hour = 16, t.tm_min = 0, t.tm_sec = 0;
  return t;
}

// The PST backend importing each file on the caller's thread when asked.
std::shared_ptr<const MessagingBackend> oneAtATimeBackend() {
  auto backend = std::make_shared<MessagingBackend>(*pstBackend());
  backend->openImporter = nullptr;
  return backend;
}

// The store's dump without what differs between any two runs: its random record key (also
// inside entry ids), per-message search keys and the clock times of creation and change.
std::string comparableDump(const fs::path& pst) {
  std::ostringstream dump;
  pst::verify::verifyFile(pst, &dump);
  std::string text = dump.str();
  std::smatch key;
  if (std::regex_search(text, key, std::regex("0x0FF90102 bin\\[16\\] ([0-9a-f]{32})"))) {
    const std::string recordKey = key[1];
    for (size_t at; (at = text.find(recordKey)) != std::string::npos;) text.replace(at, recordKey.size(), "KEY");
  }
  std::istringstream lines(text);
  std::string line, kept;
  while (std::getline(lines, line)) {
    if (line.find("0x0E340102") != std::string::npos || line.find("0x300B0102") != std::string::npos ||
        line.find("0x30070040") != std::string::npos || line.find("0x30080040") != std::string::npos) {
      continue;
    }
    kept += line + "\n";
  }
  return kept;
}

struct ConvertedRun {
  RunOutcome outcome;
  RecordingView view;
  std::string dump;
};

// The corpus in a fixed order, with a missing file, a folder, a file that is no message and a
// blank row among the messages.
std::vector<std::string> corpusRows(const TempDir& scratch) {
  std::vector<std::string> rows;
  const fs::path corpus = fs::path(VANTOREL_TEST_DATA) / "corpus";
  for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
    if (entry.path().extension() == ".msg") rows.push_back(entry.path().string());
  }
  std::sort(rows.begin(), rows.end());
  rows.insert(rows.begin() + 3, (scratch.path() / "gone" / "missing.msg").string());
  rows.insert(rows.begin() + 10, corpus.string());
  rows.insert(rows.begin() + 20, (corpus / "MANIFEST.md").string());
  rows.insert(rows.begin() + 30, "   ");
  return rows;
}

ConvertedRun convert(const std::vector<std::string>& rows, std::shared_ptr<const MessagingBackend> backend,
            std::optional<size_t> stopAfter = std::nullopt) {
  TempDir out;
  ConvertedRun run;
  run.view.stopAfter = stopAfter;
  VectorRows source(rows);
  RunState state;
  run.outcome = runConversion(source, RunSettings{.outputFolder = out.path(), .now = fixedTime, .backend = std::move(backend)}, run.view, state);
  if (run.outcome.result == RunOutcome::Result::Done) run.dump = comparableDump(run.outcome.pstPath);
  return run;
}

void expectSameRuns(const ConvertedRun& pipelined, const ConvertedRun& direct) {
  EXPECT_EQ(pipelined.outcome.result, RunOutcome::Result::Done);
  EXPECT_EQ(pipelined.outcome.imported, direct.outcome.imported);
  EXPECT_EQ(pipelined.outcome.listed, direct.outcome.listed);
  EXPECT_EQ(pipelined.outcome.stopped, direct.outcome.stopped);
  ASSERT_EQ(pipelined.outcome.skipped.size(), direct.outcome.skipped.size());
  for (size_t i = 0; i < direct.outcome.skipped.size(); ++i) {
    EXPECT_EQ(pipelined.outcome.skipped[i].path, direct.outcome.skipped[i].path);
    EXPECT_EQ(pipelined.outcome.skipped[i].reason, direct.outcome.skipped[i].reason);
  }
  EXPECT_EQ(pipelined.view.frameCaptions, direct.view.frameCaptions);
  EXPECT_EQ(pipelined.view.currentCaptions, direct.view.currentCaptions);
  EXPECT_EQ(pipelined.view.positions, direct.view.positions);
  EXPECT_EQ(pipelined.view.selectedRows, direct.view.selectedRows);
  EXPECT_FALSE(direct.dump.empty());
  EXPECT_TRUE(pipelined.dump == direct.dump) << "the PST contents differ";
}

TEST(PipelinedRun, WritesTheSamePstAsImportingOneFileAtATime) {
  TempDir scratch;
  const std::vector<std::string> rows = corpusRows(scratch);
  const ConvertedRun direct = convert(rows, oneAtATimeBackend());
  const ConvertedRun pipelined = convert(rows, pstBackend());
  EXPECT_GT(direct.outcome.imported, 350u);
  EXPECT_GE(direct.outcome.skipped.size(), 3u);  // ours, and corpus files that are no mail
  expectSameRuns(pipelined, direct);
}

TEST(PipelinedRun, AStopEndsThePassAfterTheCurrentMessageAndKeepsThePst) {
  TempDir scratch;
  const std::vector<std::string> rows = corpusRows(scratch);
  const ConvertedRun direct = convert(rows, oneAtATimeBackend(), 25);
  const ConvertedRun pipelined = convert(rows, pstBackend(), 25);
  EXPECT_TRUE(direct.outcome.stopped);
  EXPECT_EQ(direct.view.selectedRows.size(), 25u);
  expectSameRuns(pipelined, direct);
}

}  // namespace
}  // namespace conversion::test
