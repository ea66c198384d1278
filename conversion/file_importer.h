// Imports the message files of one run. Told which files come next, an importer may read
// and parse them ahead of time; the results still come back one by one, in the order asked.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>

#include "mail/importer.h"

namespace conversion {

using ImportFunction = std::function<mail::ImportResult(const std::filesystem::path&)>;

// Thrown when an importer is opened and no file could be read through it (its reader program
// is missing or none of its readers can be started), so that a run stops before it writes.
class ImporterUnavailable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Thrown by import() when its wait handler asked it to stop waiting.
class ImportStopped : public std::runtime_error {
 public:
  ImportStopped() : std::runtime_error("the import was stopped on request") {}
};

class FileImporter {
 public:
  virtual ~FileImporter() = default;
  // `file` will be asked for after every file announced before it (a hint: asking for
  // another file, or skipping an announced one, is allowed).
  virtual void expect(const std::filesystem::path& file) = 0;
  // The import of `file`; an exception thrown by the import function is rethrown here.
  virtual mail::ImportResult import(const std::filesystem::path& file) = 0;
  // Called every few hundredths of a second while import() waits for a file read elsewhere,
  // so that the caller can serve its window and notice a stop. When it returns false, import()
  // abandons the file and everything announced and throws ImportStopped.
  using WaitHandler = std::function<bool()>;
  virtual void setWaitHandler(WaitHandler handler) { (void)handler; }
};

// Imports each file when asked, on the caller's thread.
std::unique_ptr<FileImporter> makeDirectImporter(ImportFunction importFile);

// A rough count of the bytes a parsed message holds in memory.
size_t approximateSize(const pst::messaging::MessageContent& message);

}  // namespace conversion
