// Imports the message files of one run. Told which files come next, an importer may read
// and parse them ahead of time; the results still come back one by one, in the order asked.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "mail/importer.h"

namespace conversion {

using ImportFunction = std::function<mail::ImportResult(const std::filesystem::path&)>;

class FileImporter {
 public:
  virtual ~FileImporter() = default;
  // `file` will be asked for after every file announced before it (a hint: asking for
  // another file, or skipping an announced one, is allowed).
  virtual void expect(const std::filesystem::path& file) = 0;
  // The import of `file`; an exception thrown by the import function is rethrown here.
  virtual mail::ImportResult import(const std::filesystem::path& file) = 0;
};

// Imports each file when asked, on the caller's thread.
std::unique_ptr<FileImporter> makeDirectImporter(ImportFunction importFile);

// An import split in two steps that can run on different threads.
struct ImportSteps {
  std::function<mail::MessageFileData(const std::filesystem::path&)> read;
  std::function<mail::ImportResult(mail::MessageFileData)> parse;
};

// Reads the announced files on one worker thread and parses them on another while the caller
// writes earlier ones. At most `maxAhead` files, read or parsed, and about `maxAheadBytes` of
// them wait to be taken, though one always may, however large. Every parse runs on the same
// worker thread.
std::unique_ptr<FileImporter> makePrefetchingImporter(ImportSteps steps, size_t maxAhead, size_t maxAheadBytes);

// A rough count of the bytes a parsed message holds in memory.
size_t approximateSize(const pst::messaging::MessageContent& message);

}  // namespace conversion
