// pst-verify FILE [--dump]: strict structural check of a PST file; exit 1 on any error.
#include <filesystem>
#include <iostream>
#include <string>

#include "platform/console.h"
#include "platform/path_text.h"
#include "pst/verify/verify.h"

int main(int argc, char** argv) {
  std::filesystem::path file;
  bool dump = false;
  for (const std::string& arg : platform::programArguments(argc, argv)) {
    if (arg == "--dump") {
      dump = true;
    } else if (file.empty() && !arg.starts_with("--")) {
      file = platform::pathFromText(arg);
    } else {
      file.clear();
      break;
    }
  }
  if (file.empty()) {
    std::cerr << "usage: pst-verify FILE [--dump]\n";
    return 2;
  }
  const auto findings = pst::verify::verifyFile(file, dump ? &std::cout : nullptr);
  size_t warnings = 0;
  for (const auto& f : findings.items) {
    const bool error = f.severity == pst::verify::Finding::Severity::Error;
    warnings += !error;
    std::cout << (error ? "error: " : "warning: ") << f.where << ": " << f.message << "\n";
  }
  std::cout << file.string() << ": " << findings.errorCount() << " error(s), " << warnings << " warning(s)\n";
  return findings.errorCount() == 0 ? 0 : 1;
}
