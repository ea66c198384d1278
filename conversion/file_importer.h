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

// Parses up to a few announced files on a worker thread while the caller writes earlier
// ones. At most `maxAhead` results and about `maxAheadBytes` of them wait to be taken, though
// one result always may, however large. Every import runs on the worker thread.
std::unique_ptr<FileImporter> makePrefetchingImporter(ImportFunction importFile, size_t maxAhead,
                                                      size_t maxAheadBytes);

// A rough count of the bytes a parsed message holds in memory.
size_t approximateSize(const pst::messaging::MessageContent& message);

}  // namespace conversion
