#include "platform/child_process.h"

#include <fcntl.h>

#include <cerrno>
#include <vector>

#include "platform/files.h"
#include "platform/windows/windows_support.h"

namespace platform {

namespace {

// A pipe of this size takes a typical reply in one write instead of sixteen.
constexpr DWORD kReplyPipeSize = 1 << 20;
// The exit code of a child this program killed.
constexpr UINT kKilledCode = 128 + 9;

// One argument as the C runtime of the child parses it back: quotes around it when it has
// blanks or quotes, backslashes doubled only before a quote.
std::wstring quoted(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

// A crash ends a Windows process with an exception code; it is reported as the signal a POSIX
// system would have ended the same fault with, so that reasons read alike on both.
ProcessEnd endFrom(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_IN_PAGE_ERROR:
      return {true, 11};  // SIGSEGV
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
      return {true, 4};  // SIGILL
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
      return {true, 8};  // SIGFPE
    case 0xC0000409:   // STATUS_STACK_BUFFER_OVERRUN: a fast fail, as abort() is
      return {true, 6};  // SIGABRT
    case kKilledCode:
      return {true, 9};  // SIGKILL
    default:
      return {false, static_cast<int>(code)};
  }
}

HANDLE asHandle(long long value) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(value)); }
long long asValue(HANDLE handle) { return static_cast<long long>(reinterpret_cast<intptr_t>(handle)); }

void closeIfOpen(HANDLE& handle) {
  if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = nullptr;
}

// The child's standard error: this program's own, or the null device when that is closed.
HANDLE inheritableErrors() {
  HANDLE own = GetStdHandle(STD_ERROR_HANDLE);
  HANDLE copy = nullptr;
  if (own && own != INVALID_HANDLE_VALUE &&
      DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
    return copy;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

std::optional<ChildProcess::StartFailure> ChildProcess::start(const std::filesystem::path& program,
                                                              const std::vector<std::string>& arguments,
                                                              int /*replyDescriptor: standard output here*/) {
  HANDLE requestRead = nullptr, requestWrite = nullptr, replyRead = nullptr, replyWrite = nullptr;
  auto closeChildEnds = [&] {
    closeIfOpen(requestRead);
    closeIfOpen(replyWrite);
  };
  if (!CreatePipe(&requestRead, &requestWrite, nullptr, 0)) return StartFailure{Stage::Pipes, windows::errnoFrom(GetLastError())};
  if (!CreatePipe(&replyRead, &replyWrite, nullptr, kReplyPipeSize)) {
    const int error = windows::errnoFrom(GetLastError());
    closeIfOpen(requestRead);
    closeIfOpen(requestWrite);
    return StartFailure{Stage::Pipes, error};
  }
  // Only the child's ends are inherited, and only by this child (the handle list below).
  HANDLE errors = inheritableErrors();
  if (!SetHandleInformation(requestRead, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) ||
      !SetHandleInformation(replyWrite, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) || errors == INVALID_HANDLE_VALUE) {
    const int error = windows::errnoFrom(GetLastError());
    closeChildEnds();
    closeIfOpen(requestWrite);
    closeIfOpen(replyRead);
    closeIfOpen(errors);
    return StartFailure{Stage::PipeSetup, error};
  }
  HANDLE inherited[] = {requestRead, replyWrite, errors};
  SIZE_T listSize = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
  std::vector<char> listSpace(listSize);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listSpace.data());
  const bool listed = InitializeProcThreadAttributeList(list, 1, 0, &listSize) &&
                      UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited,
                                                nullptr, nullptr);
  if (!listed) {
    const int error = windows::errnoFrom(GetLastError());
    closeChildEnds();
    closeIfOpen(requestWrite);
    closeIfOpen(replyRead);
    closeIfOpen(errors);
    return StartFailure{Stage::PipeSetup, error};
  }

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = requestRead;
  startup.StartupInfo.hStdOutput = replyWrite;
  startup.StartupInfo.hStdError = errors;
  startup.lpAttributeList = list;

  // The \\?\ form only where the plain one is too long for the system to take.
  const std::wstring full = windows::withoutLongPrefix(windows::longPath(program));
  const std::wstring programName = full.size() < MAX_PATH ? full : windows::longPath(program);
  std::wstring commandLine = quoted(program.native());
  for (const std::string& argument : arguments) commandLine += L" " + quoted(windows::wide(argument));
  PROCESS_INFORMATION started{};
  // Its own process group: Ctrl+C in the console is this program's alone to act on. Started
  // suspended, so that it runs only once it is in the job that ends it with this program.
  const BOOL ran = CreateProcessW(programName.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                  EXTENDED_STARTUPINFO_PRESENT | CREATE_NEW_PROCESS_GROUP | CREATE_SUSPENDED |
                                      CREATE_UNICODE_ENVIRONMENT,
                                  nullptr, nullptr, &startup.StartupInfo, &started);
  const int spawnError = ran ? 0 : windows::errnoFrom(GetLastError());
  DeleteProcThreadAttributeList(list);
  closeChildEnds();
  closeIfOpen(errors);
  if (!ran) {
    closeIfOpen(requestWrite);
    closeIfOpen(replyRead);
    return StartFailure{Stage::Program, spawnError};
  }
  // A child outlives no parent, even one that was killed: the job's last handle is ours.
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !AssignProcessToJobObject(job, started.hProcess)) {
      closeIfOpen(job);
    }
  }
  ResumeThread(started.hThread);
  CloseHandle(started.hThread);
  id_ = started.dwProcessId;
  handle_ = asValue(started.hProcess);
  group_ = job ? asValue(job) : -1;
  requests_ = windows::adopt(requestWrite, _O_WRONLY);
  replies_ = windows::adopt(replyRead, _O_RDONLY);
  if (requests_ < 0 || replies_ < 0) {
    const int error = errno;
    kill();
    reap();
    closeAll();
    id_ = -1;
    return StartFailure{Stage::PipeSetup, error};
  }
  return std::nullopt;
}

void ChildProcess::reap() {
  HANDLE process = asHandle(handle_);
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  end_ = endFrom(code);
  reaped_ = true;
}

void ChildProcess::closeAll() {
  if (handle_ != -1) CloseHandle(asHandle(handle_));
  if (group_ != -1) CloseHandle(asHandle(group_));
  if (requests_ >= 0) closeFile(requests_);
  if (replies_ >= 0) closeFile(replies_);
  handle_ = group_ = -1;
  requests_ = replies_ = -1;
}

ChildProcess::~ChildProcess() {
  if (id_ >= 0 && !reaped_) {
    kill();
    reap();
  }
  closeAll();
}

bool ChildProcess::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const long long n = writeSome(requests_, bytes.data(), bytes.size());
    if (n <= 0) return false;  // ERROR_NO_DATA or a broken pipe: no signal on Windows
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

void ChildProcess::kill() {
  if (handle_ != -1 && !reaped_) TerminateProcess(asHandle(handle_), kKilledCode);
}

ProcessEnd ChildProcess::waitForEnd(std::chrono::milliseconds grace) {
  if (reaped_) return end_;
  if (WaitForSingleObject(asHandle(handle_), static_cast<DWORD>(grace.count())) != WAIT_OBJECT_0) kill();
  reap();
  return end_;
}

void shieldThreadFromBrokenPipes() {
  // A write to a closed pipe fails with ERROR_NO_DATA and raises nothing.
}

long long currentProcessId() { return GetCurrentProcessId(); }

}  // namespace platform
