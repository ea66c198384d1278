#include "platform/child_side.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

#include "platform/files.h"
#include "platform/windows/windows_support.h"

namespace platform::child {

namespace {

LONG WINAPI endOnCrash(EXCEPTION_POINTERS* crash) {
  TerminateProcess(GetCurrentProcess(), crash->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

bool followParent(long long parentId) {
  // The parent's job ends this process with the parent (ChildProcess); a parent already gone
  // is seen here.
  if (parentId != 0) {
    HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(parentId));
    if (!parent) return false;
    const bool gone = WaitForSingleObject(parent, 0) == WAIT_OBJECT_0;
    CloseHandle(parent);
    if (gone) return false;
  }
  SetConsoleCtrlHandler(nullptr, TRUE);  // Ctrl+C is the parent's to handle
  // A crash costs its file: no error report window or debugger waits for someone, the process
  // ends at once with the exception's code, which the parent reads as the fault it was.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(endOnCrash);
  return true;
}

void capMemory(uint64_t bytes) {
  // A job of its own inside the parent's: its memory limit makes allocations fail beyond it.
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (!job) return;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY;
  limits.ProcessMemoryLimit = static_cast<SIZE_T>(bytes);
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
      !AssignProcessToJobObject(job, GetCurrentProcess())) {
    CloseHandle(job);
  }
  // The job stays open for the life of the process.
}

int requestInput() { return _fileno(stdin); }

int replyOutput(int /*replyDescriptor: standard output here*/) {
  // The replies keep the pipe; whatever a library prints goes to standard error from now on.
  HANDLE replies = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_OUTPUT_HANDLE), GetCurrentProcess(), &replies, 0, FALSE,
                       DUPLICATE_SAME_ACCESS))
    return windows::failWithLastError();
  std::fflush(stdout);
  SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
  _dup2(_fileno(stderr), _fileno(stdout));
  return windows::adopt(replies, _O_WRONLY);
}

bool writePieces(int fd, std::span<const std::span<const uint8_t>> pieces) {
  for (std::span<const uint8_t> piece : pieces) {
    while (!piece.empty()) {
      const long long n = writeSome(fd, piece.data(), piece.size());
      if (n <= 0) return false;
      piece = piece.subspan(static_cast<size_t>(n));
    }
  }
  return true;
}

void endNow(int status) {
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
  std::_Exit(status);
}

void crash() {
  RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  std::_Exit(3);
}

}  // namespace platform::child
