// Reads and parses message files in reader processes (vantorel-reader), so that a message
// that crashes the parser, never ends or needs too much memory costs that file alone: it
// comes back refused with a reason that says which, a new reader takes the reader's place and
// the next files come as before. The results are those of mail::importMessageFile, in the
// order asked.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

#include "conversion/file_importer.h"
#include "reader/protocol.h"

namespace conversion {

struct ReaderPoolSettings {
  std::filesystem::path program;  // the reader executable
  // Two readers keep both cores busy beside the writer (measured on 2 cores: three were no
  // faster, and cost a third reader's memory).
  size_t readers = 2;
  std::chrono::milliseconds fileTimeLimit{std::chrono::seconds(reader::kFileTimeLimitSeconds)};
  uint64_t memoryCap = reader::kMemoryCapBytes;
  // Each result carries the SHA-256 of the file's bytes (for a ledger; it costs a pass over them).
  bool digests = false;
  // At most `maxAhead` files, being read or waiting to be taken, and about `maxAheadBytes` of
  // parsed messages wait; the file asked for next is always read, however large. Enough ahead
  // that a large message on one reader does not leave the other idle.
  size_t maxAhead = 24;
  size_t maxAheadBytes = size_t{64} << 20;
  // For tests: an errno value to fail the start of reader `slot`'s process (`thread` false) or
  // of the thread that takes its replies (`thread` true) with, as the system would; 0 starts it.
  std::function<int(size_t slot, bool thread)> startFault{};
};

// Starts the readers and returns once one of them is ready. A reader that cannot be started is
// tried again a few times over about a second; the files go to those that run. Throws
// ImporterUnavailable, naming the cause, when none can be started.
std::unique_ptr<FileImporter> makeReaderPool(ReaderPoolSettings settings);

// The reader beside the running program, else the installed one. Throws ImporterUnavailable,
// saying where it was looked for or why the one found cannot be run, when there is none.
std::filesystem::path findReaderProgram();

}  // namespace conversion
