// The command line of vantorel-convert: GNU-style options, parsed by getopt_long from one table.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cli {

inline constexpr const char* kProgram = "vantorel-convert";

struct Options {
  std::filesystem::path outputFolder;  // empty: the current folder
  std::filesystem::path skippedList;   // empty: no list file
  std::vector<std::string> paths;      // message files or folders, in the order given
  bool keepStatus = false;             // messages take their state from the server's IMAP.MRK
  bool perMailbox = false;             // one PST per mailbox of the server's store
  uint64_t maxSize = 0;                // the largest a PST may grow, in bytes; 0 for no limit
  unsigned shard = 0, shards = 0;      // --shard K/N: the K-th (1..N) of N slices of the mailboxes; 0/0: all
  unsigned jobs = 0;                   // --jobs: mailboxes converted at once; 0: not given (the default)
  std::filesystem::path ledger;        // --ledger: the migration's record; empty: none
  bool ledgerRestate = false;          // convert again what changed state on the server since the last run
  bool help = false;
  bool version = false;
  std::string error;  // one line naming the problem, for a usage error
};

// `args` without the program name. Options may come before, between or after the paths;
// "--" ends the options; long options may be abbreviated while the abbreviation is unique.
Options ParseOptions(const std::vector<std::string>& args);

// The --help text, options and exit statuses included.
std::string UsageText();

// "20G", "512M", "4096K", "1000000": bytes, with K, M and G as 1024, 1024^2 and 1024^3 (in
// either letter case). None for anything else, or for a size that does not fit.
std::optional<uint64_t> ParseSize(const std::string& text);

// "K/N" with 1 <= K <= N: the K-th of N shards. None for anything else.
std::optional<std::pair<unsigned, unsigned>> ParseShard(const std::string& text);

// The smallest size limit taken: a PST holds a few hundred kilobytes before any message.
inline constexpr uint64_t kSmallestMaxSize = uint64_t{1} << 20;

// The second line of every usage error.
std::string TryHelpLine();

}  // namespace cli
