// Facts about the system and the running program.
#pragma once

#include <cstddef>
#include <filesystem>
#include <system_error>

namespace platform {

#ifdef _WIN32
inline constexpr const char* kProgramSuffix = ".exe";
inline constexpr size_t kMaxPathUnits = 32767;  // UTF-16 units of a \\?\ path
#else
inline constexpr const char* kProgramSuffix = "";
inline constexpr size_t kMaxPathUnits = 4096;   // PATH_MAX: bytes of a path with its end
#endif

// True when this is Linux under Windows' WSL, whose Windows drives are folders under /mnt.
bool runsUnderWsl();
// The cores this process may run on: a container, taskset or job may allow fewer than the
// machine has. At least 1.
unsigned usableCores();
// The running program's own file.
std::filesystem::path runningProgram(std::error_code& error);
// 0 when `program` can be run, else the errno value saying why not (ENOENT: it is missing).
int runnableProblem(const std::filesystem::path& program);

}  // namespace platform
