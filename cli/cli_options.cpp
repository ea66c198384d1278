#include "cli/cli_options.h"

#include <getopt.h>

#include <algorithm>
#include <string_view>
#include <tuple>

#include "cli/exit_status.h"
#include "cli/mailbox_jobs.h"
#include "cli/terminal_text.h"
#include "platform/path_text.h"

namespace cli {

namespace {

// One option of the command line. New options are one more row of kOptions: the parser,
// the abbreviations and --help all follow the table.
struct OptionSpec {
  const char* longName;
  char shortName;         // 0: long form only
  const char* valueName;  // the value's name in --help; nullptr: the option takes no value
  const char* help;
  // Stores the option; returns the problem for the user, or "" when it was taken.
  std::string (*take)(Options& options, const std::string& value);
};

std::string setPathOnce(std::filesystem::path& field, const std::string& value, const char* longName) {
  if (value.empty()) return std::string("option '--") + longName + "' needs a non-empty value";
  if (!field.empty()) return std::string("option '--") + longName + "' may be given only once";
  field = platform::pathFromText(value);
  return {};
}

const OptionSpec kOptions[] = {
    {"output", 'o', "DIR", "the folder for the new PST file (default: the current folder)",
     [](Options& o, const std::string& v) { return setPathOnce(o.outputFolder, v, "output"); }},
    {"skipped-list", 0, "FILE",
     "write every skipped file to FILE, one line each: its path, a tab and the reason (FILE is replaced)",
     [](Options& o, const std::string& v) { return setPathOnce(o.skippedList, v, "skipped-list"); }},
    {"keep-status", 0, nullptr,
     "give each message the state the mail server's IMAP.MRK of its folder records: unread, answered, flagged, "
     "draft (without it every message is stored as read)",
     [](Options& o, const std::string&) {
       o.keepStatus = true;
       return std::string();
     }},
    {"per-mailbox", 0, nullptr,
     "convert a whole server's store (PATH: the folder holding Users, the Users folder or a domain folder): one "
     "PST per mailbox, named after its address, and one for each other top folder with messages (Public Folders)",
     [](Options& o, const std::string&) {
       o.perMailbox = true;
       return std::string();
     }},
    {"max-size", 0, "SIZE",
     "complete a PST before a message would take it past SIZE (K, M or G: 20G) and go on in NAME (part 2).pst and "
     "so on",
     [](Options& o, const std::string& v) {
       if (o.maxSize != 0) return std::string("option '--max-size' may be given only once");
       const std::optional<uint64_t> size = ParseSize(v);
       if (!size) return "invalid size '" + EscapeControls(v) + "' for '--max-size': give a number with K, M or G, such as 20G";
       if (*size < kSmallestMaxSize) return std::string("the size for '--max-size' must be at least 1M");
       o.maxSize = *size;
       return std::string();
     }},
    {"shard", 0, "K/N",
     "with --per-mailbox: convert only the K-th of N slices of the mailboxes (in the order of their addresses, "
     "every N-th from the K-th), so that N machines or jobs share a store",
     [](Options& o, const std::string& v) {
       if (o.shards != 0) return std::string("option '--shard' may be given only once");
       const std::optional<std::pair<unsigned, unsigned>> shard = ParseShard(v);
       if (!shard) return "invalid shard '" + EscapeControls(v) + "' for '--shard': give K/N with 1 <= K <= N, such as 2/8";
       std::tie(o.shard, o.shards) = *shard;
       return std::string();
     }},
    {"jobs", 'j', "N",
     "with --per-mailbox: convert N mailboxes at a time, each with readers of its own (default: the number of "
     "cores divided by the reader processes a mailbox takes, at least 1); the PSTs and the summary are those of "
     "one at a time",
     [](Options& o, const std::string& v) {
       if (o.jobs != 0) return std::string("option '--jobs' may be given only once");
       const bool digits = !v.empty() && v.size() <= 3 && v.find_first_not_of("0123456789") == std::string::npos;
       const unsigned n = digits ? static_cast<unsigned>(std::stoul(v)) : 0;
       if (n < 1 || n > kMostJobs)
         return "invalid number '" + EscapeControls(v) + "' for '--jobs': give a whole number from 1 to " +
                std::to_string(kMostJobs);
       o.jobs = n;
       return std::string();
     }},
    {"ledger", 0, "FILE",
     "record in FILE (an SQLite database, created when missing) every file converted or skipped; a later run "
     "with the same FILE converts only files new, changed or skipped since, into PSTs named NAME (delta "
     "YYYY-MM-DD).pst",
     [](Options& o, const std::string& v) { return setPathOnce(o.ledger, v, "ledger"); }},
    {"ledger-restate", 0, nullptr,
     "with --ledger and --keep-status: convert again the unchanged messages whose state on the server changed "
     "since the last run (without it they are only reported)",
     [](Options& o, const std::string&) {
       o.ledgerRestate = true;
       return std::string();
     }},
    {"help", 'h', nullptr, "show this help and exit",
     [](Options& o, const std::string&) {
       o.help = true;
       return std::string();
     }},
    {"version", 0, nullptr, "show the version and exit",
     [](Options& o, const std::string&) {
       o.version = true;
       return std::string();
     }},
};

// What getopt_long returns for the option: its letter, or a number past every letter.
int codeOf(size_t index) {
  const OptionSpec& spec = kOptions[index];
  return spec.shortName != 0 ? spec.shortName : 256 + static_cast<int>(index);
}

const OptionSpec* specForCode(int code) {
  for (size_t i = 0; i < std::size(kOptions); ++i)
    if (codeOf(i) == code) return &kOptions[i];
  return nullptr;
}

// The option as written, without a value attached with "=".
std::string longNameWritten(std::string_view written) {
  written.remove_prefix(std::min<size_t>(2, written.size()));
  return std::string(written.substr(0, written.find('=')));
}

std::string unknownLongOption(std::string_view written) {
  const std::string name = longNameWritten(written);
  std::string matches;
  int count = 0;
  for (const OptionSpec& spec : kOptions) {
    if (std::string_view(spec.longName).starts_with(name)) {
      matches += std::string(" '--") + spec.longName + "'";
      ++count;
    }
  }
  if (count > 1) return "option '--" + EscapeControls(name) + "' is ambiguous; possibilities:" + matches;
  return "unrecognized option '--" + EscapeControls(name) + "'";
}

std::string optionString() {
  std::string shortOptions = ":";  // ':' for a missing value, so that it can be told from an unknown option
  for (const OptionSpec& spec : kOptions) {
    if (spec.shortName == 0) continue;
    shortOptions += spec.shortName;
    if (spec.valueName) shortOptions += ':';
  }
  return shortOptions;
}

std::vector<option> longOptions() {
  std::vector<option> table;
  for (size_t i = 0; i < std::size(kOptions); ++i)
    table.push_back({kOptions[i].longName, kOptions[i].valueName ? required_argument : no_argument, nullptr, codeOf(i)});
  table.push_back({nullptr, 0, nullptr, 0});
  return table;
}

// Appends `text` in lines of at most kLineWidth columns, each further line indented to `indent`.
constexpr size_t kLineWidth = 79;
void appendWrapped(std::string& out, std::string_view text, size_t column, size_t indent) {
  while (!text.empty()) {
    size_t room = kLineWidth > column ? kLineWidth - column : 1;
    size_t cut = text.size();
    if (cut > room) {
      cut = text.rfind(' ', room);
      if (cut == std::string_view::npos || cut == 0) cut = std::min(text.find(' '), text.size());
    }
    out.append(text.substr(0, cut));
    text.remove_prefix(cut);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    out += '\n';
    if (!text.empty()) {
      out.append(indent, ' ');
      column = indent;
    }
  }
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  std::vector<std::string> storage{kProgram};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : storage) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(storage.size());

  const std::string shortOptions = optionString();
  const std::vector<option> table = longOptions();
  opterr = 0;  // the problems are worded here, in one line each
  optind = 0;  // starts getopt_long afresh, also for a second parse in the same process
  for (;;) {
    const int code = getopt_long(argc, argv.data(), shortOptions.c_str(), table.data(), nullptr);
    if (code == -1) break;
    const std::string written = optind > 0 && optind <= argc ? argv[optind - 1] : "";
    const bool writtenLong = written.starts_with("--");
    if (code == ':') {
      const OptionSpec* spec = specForCode(optopt);
      options.error = writtenLong && spec ? std::string("option '--") + spec->longName + "' requires an argument"
                                          : "option requires an argument -- '" + EscapeControls(std::string(1, static_cast<char>(optopt))) + "'";
      return options;
    }
    if (code == '?') {
      const OptionSpec* spec = optopt != 0 ? specForCode(optopt) : nullptr;
      if (optopt == 0)
        options.error = unknownLongOption(written);
      else if (writtenLong && spec)
        options.error = std::string("option '--") + spec->longName + "' doesn't allow an argument";
      else
        options.error = "invalid option -- '" + EscapeControls(std::string(1, static_cast<char>(optopt))) + "'";
      return options;
    }
    const OptionSpec* spec = specForCode(code);
    if (!spec) {
      options.error = "unexpected option";
      return options;
    }
    const std::string problem = spec->take(options, optarg ? optarg : "");
    if (!problem.empty()) {
      options.error = problem;
      return options;
    }
  }
  for (int i = optind; i < argc; ++i) options.paths.emplace_back(argv[i]);
  if (!options.help && !options.version && options.paths.empty())
    options.error = "name at least one message file or folder to convert";
  return options;
}

std::optional<uint64_t> ParseSize(const std::string& text) {
  uint64_t value = 0;
  size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value > (UINT64_MAX - 9) / 10) return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  if (i == 0) return std::nullopt;
  int shift = 0;
  if (i < text.size()) {
    switch (text[i]) {
      case 'k': case 'K': shift = 10; break;
      case 'm': case 'M': shift = 20; break;
      case 'g': case 'G': shift = 30; break;
      default: return std::nullopt;
    }
    if (++i != text.size()) return std::nullopt;
  }
  if (value > (UINT64_MAX >> shift)) return std::nullopt;
  return value << shift;
}

std::optional<std::pair<unsigned, unsigned>> ParseShard(const std::string& text) {
  const size_t slash = text.find('/');
  if (slash == std::string::npos) return std::nullopt;
  auto number = [](std::string_view digits) -> std::optional<unsigned> {
    if (digits.empty() || digits.size() > 6 || digits.find_first_not_of("0123456789") != std::string_view::npos)
      return std::nullopt;
    return static_cast<unsigned>(std::stoul(std::string(digits)));
  };
  const auto k = number(std::string_view(text).substr(0, slash));
  const auto n = number(std::string_view(text).substr(slash + 1));
  if (!k || !n || *k < 1 || *k > *n) return std::nullopt;
  return std::make_pair(*k, *n);
}

std::string TryHelpLine() { return std::string("Try '") + kProgram + " --help'."; }

std::string UsageText() {
  std::string text = std::string("Usage: ") + kProgram + " [OPTION]... PATH...\n";
  appendWrapped(text,
                "Converts message files (one RFC 822 message per .msg file) into one new PST file. Each PATH is a "
                "message file, or a folder whose whole tree is searched for files ending in .msg.",
                0, 0);
  text += "\nOptions:\n";
  constexpr size_t kDescriptionColumn = 27;
  for (const OptionSpec& spec : kOptions) {
    std::string left = spec.shortName ? std::string("  -") + spec.shortName + ", --" : std::string("      --");
    left += spec.longName;
    if (spec.valueName) left += std::string("=") + spec.valueName;
    left += "  ";
    if (left.size() < kDescriptionColumn) left.append(kDescriptionColumn - left.size(), ' ');
    text += left;
    appendWrapped(text, spec.help, left.size(), kDescriptionColumn);
  }
  text += '\n';
  appendWrapped(text,
                "Long options may be abbreviated as long as the abbreviation is unique. The PST file is named "
                "Vantorel<day.month.year hour.minute.seconds>.pst; its folders mirror the folders of the message "
                "files below their drive root (under WSL, /mnt/c and the other drive letters are drive roots), and "
                "an existing file is never replaced. Without --max-size a PST of more than 50 GB, the most Outlook "
                "opens by default, gets a warning. Ctrl+C, SIGTERM and SIGHUP stop after the current message and keep "
                "everything converted so far; a second one stops at once and removes the unfinished PST file. "
                "Standard output lists the full path of every new PST file, one a line. In the "
                "names printed, control characters and backslashes are written as C escapes "
                "(\\t, \\n, \\\\, \\xHH).",
                0, 0);
  text += "\nExit status:\n";
  for (const ExitStatusMeaning& exit : kExitStatuses) {
    std::string left = "  " + std::to_string(exit.status);
    left.append(7 - left.size(), ' ');
    text += left;
    appendWrapped(text, exit.meaning, left.size(), left.size());
  }
  return text;
}

}  // namespace cli
