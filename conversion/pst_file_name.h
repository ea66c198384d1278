// Names of the new PST file and its store, and the safe way to give the file its final name.
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
// The first of `pstPath`, " (2)", " (3)"... such that neither it nor its ".part" exists.
std::filesystem::path FreePstPath(const std::filesystem::path& pstPath);

// Renames `part` to `wanted`, or to the first free numbered variant of it, never replacing an
// existing file. Returns the name given. Throws std::runtime_error on failure.
std::filesystem::path RenameWithoutReplacing(const std::filesystem::path& part,
                                             const std::filesystem::path& wanted);

}  // namespace conversion
