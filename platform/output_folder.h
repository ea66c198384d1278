// Names inside a folder held open by a descriptor, so that every name of a run's output is
// looked up in the same folder even if its path is renamed meanwhile. Descriptors as in
// files.h; errors as errno values.
#pragma once

#include <filesystem>
#include <string>

namespace platform {

// -1 with errno set when the folder cannot be opened.
int openFolder(const std::filesystem::path& folder);
// True when something, a dangling link included, has `name` in `folder`.
bool nameTaken(int folder, const std::filesystem::path& name);
// Creates `name` for reading and writing only if nothing has that name; -1 with errno set
// (EEXIST when taken).
int createNewIn(int folder, const std::filesystem::path& name);
// True when `name` in `folder` is the very file open as `fd`.
bool namesFile(int folder, const std::filesystem::path& name, int fd);
// Renames `from` to `to` unless `to` exists; 0 or the errno value (EEXIST when taken, EINVAL
// or ENOSYS when the file system cannot rename exclusively).
int renameNoReplace(int folder, const std::filesystem::path& from, const std::filesystem::path& to);
// Gives the file open as `fd` the additional name `to` unless it exists; 0 or the errno value.
int linkNoReplace(int folder, int fd, const std::filesystem::path& to);
void removeName(int folder, const std::filesystem::path& name);
// Where the file open as `fd` is now, as the system knows it; empty when it does not.
std::string currentPath(int fd);
// Removes `name` in `folder` if it still is the file open as `fd`. Safe in a stop handler
// (stop_requests.h): it neither allocates nor locks.
bool removeIfStillNamed(int folder, int fd, const char* name);  // true: it was removed

}  // namespace platform
