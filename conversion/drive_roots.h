// Where a path's drive root is. On Linux it is "/"; under WSL, where Windows shows drive C: at
// /mnt/c, "/mnt/<letter>/" is a drive root as well, so a store at C:\MDaemon mirrors as
// MDaemon\Users\... just as it does on Windows.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace conversion {

// Whether this system is Linux under WSL: the kernel's release names Microsoft, or
// WSL_DISTRO_NAME is set. Read once.
bool RunningUnderWsl();

// For tests: makes RunningUnderWsl() answer `wsl` (nullopt: detect again) and takes the
// Windows drives to lie below `mountRoot` (an absolute path) instead of /mnt.
void OverrideWslDetection(std::optional<bool> wsl, std::string mountRoot = "/mnt");

// How many leading components of a path below "/" (as "mnt", "c", "MDaemon", ...) name its
// drive root: those of "/mnt/<letter>" under WSL, otherwise none.
size_t DriveRootComponents(const std::vector<std::string_view>& components);

// The drive or share a Windows path starts with, the path written with "/" for "\": "D:" of
// "D:/x", "//server/share" of "//server/share/x", and the long forms "//?/D:" and
// "//?/UNC/server/share". Its length, after which the path goes on with "/" (or ends); 0 when
// the path starts with neither (a relative path, or "D:x", which is relative to D:'s folder).
size_t WindowsRootLength(std::string_view path);

}  // namespace conversion
