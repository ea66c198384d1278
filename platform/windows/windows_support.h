// What the Windows side of the seam shares: error codes as errno values, long wide paths,
// and C runtime descriptors over native handles.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace platform::windows {

// The errno value closest to a Windows error code, so that callers test and word errors alike
// on both systems.
int errnoFrom(DWORD error);
// Sets errno from GetLastError(); returns -1 for the caller to return.
int failWithLastError();

std::wstring wide(std::string_view utf8);
std::string utf8(std::wstring_view text);

// `path` made absolute and prefixed with \\?\ (\\?\UNC\ for a share), so that paths longer than
// 260 characters work; drive letters, forward slashes and UNC names are all taken.
std::wstring longPath(const std::filesystem::path& path);
// A \\?\ name the system gave back, as users write it ("D:\x", "\\server\share\x").
std::wstring withoutLongPrefix(std::wstring path);
// The full name of the file or folder open as `handle`, \\?\ prefixed; empty when unknown.
// When the system cannot tell (some network file systems, and Wine past 260 characters), the
// name `handle` was opened by, if rememberName recorded it.
std::wstring finalPath(HANDLE handle);
// Records the \\?\ name a folder handle was opened by, for finalPath; forgetName drops it
// before the handle closes, so that a later handle of the same value never inherits it.
void rememberName(HANDLE handle, std::wstring name);
void forgetName(HANDLE handle);

// A C runtime descriptor owning `handle`; -1 with errno set (the handle closed) when none can
// be had.
int adopt(HANDLE handle, int flags);
HANDLE handleOf(int fd);

}  // namespace platform::windows
