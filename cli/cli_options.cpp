#include "cli/cli_options.h"

namespace cli {

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  bool optionsEnded = false;
  bool outputGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
      options.paths.push_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "-o" || arg == "--output" || arg.rfind("--output=", 0) == 0) {
      std::string value;
      if (arg.rfind("--output=", 0) == 0) {
        value = arg.substr(9);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        options.error = "option " + arg + " needs a folder";
        return options;
      }
      if (value.empty()) {
        options.error = "option " + arg + " needs a folder";
        return options;
      }
      if (outputGiven) {
        options.error = "give the output folder only once";
        return options;
      }
      outputGiven = true;
      options.outputFolder = value;
    } else {
      options.error = "unknown option " + arg;
      return options;
    }
  }
  if (!options.help && !options.version && options.paths.empty()) {
    options.error = "name at least one message file or folder";
  }
  return options;
}

std::string UsageText(const std::string& program) {
  return "Usage: " + program + " [-o DIR] PATH...\n"
         "Converts message files (one RFC 822 message per .msg file) into one new PST file.\n"
         "\n"
         "  PATH          a message file, or a folder whose whole tree is searched for\n"
         "                files ending in .msg\n"
         "  -o, --output DIR  the folder for the new PST file (default: the current folder)\n"
         "  -h, --help    show this help\n"
         "      --version show the version\n"
         "\n"
         "The PST file is named Vantorel<day.month.year hour.minute.seconds>.pst; its folders\n"
         "mirror the folders of the message files. An existing file is never replaced.\n"
         "Ctrl+C stops after the current message and keeps everything converted so far.\n"
         "\n"
         "Exit status: 0 all files converted; 1 finished, but some files were skipped or the\n"
         "run was stopped; 2 usage error, nothing to convert, or the PST file could not be written.\n"
         "The last line on standard output is the full path of the new PST file.\n";
}

}  // namespace cli
