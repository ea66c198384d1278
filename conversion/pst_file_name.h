// Names of the new PST file and its store (conversion/part_file.h creates and renames the file).
#pragma once

#include <ctime>
#include <filesystem>
#include <string>

namespace conversion {

// "d.m.YY H.m.ss": 7 June 2012, 21:05:04 gives "7.6.12 21.5.04".
std::string FormatTimestamp(const std::tm& time);
// "Vantorel<timestamp>.pst"
std::string PstFileName(const std::string& timestamp);
// "MDaemon Messages : Created - <timestamp>"
std::string StoreDisplayName(const std::string& timestamp);

// The name the file has while it is written.
std::filesystem::path PartPath(const std::filesystem::path& pstPath);
// `pstPath` with " (n)" before its extension; n < 2 gives `pstPath` itself.
std::filesystem::path NumberedPath(const std::filesystem::path& pstPath, int n);

// The longest file name the usual file systems take, in bytes.
inline constexpr size_t kLongestFileName = 255;
// `base` followed by `suffix` (" (part 2).pst"), `base` cut at a UTF-8 character boundary
// where need be so that the name still fits while the file is written under PartPath's name.
// A long mailbox name thus costs the end of its name, not the file.
std::string FittedFileName(const std::string& base, const std::string& suffix);
}  // namespace conversion
