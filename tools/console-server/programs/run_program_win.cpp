#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <utility>

#include "common/os_error.h"
#include "programs/run_program_shared.h"

namespace {

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), length);
  return out;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), length,
                      nullptr, nullptr);
  return out;
}

// The environment block: console-server's own, with the added variables in place of any of
// the same names (which Windows compares without case).
std::wstring EnvironmentBlock(const AddedVariables& added) {
  std::wstring block;
  wchar_t* own = GetEnvironmentStringsW();
  for (const wchar_t* entry = own; entry != nullptr && *entry != L'\0';
       entry += wcslen(entry) + 1) {
    const std::wstring_view text(entry);
    // Entries such as "=C:=C:\dir" start with "=": their name goes on to the next "=".
    const std::size_t equals = text.find(L'=', 1);
    if (IsAdded(Narrow(text.substr(0, equals)), added, NameCase::kIgnored)) continue;
    block.append(text);
    block.push_back(L'\0');
  }
  if (own != nullptr) FreeEnvironmentStringsW(own);
  for (const auto& [name, value] : added) {
    block += Wide(name) + L'=' + Wide(value);
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

HANDLE InheritableCopy(HANDLE handle) {
  HANDLE copy = nullptr;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                       DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

void CloseIfOpen(HANDLE handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

// Only the handles in the list are inherited: not the sockets, nor another program's pipe
// (which would keep it open), whatever their inherit flags say.
class InheritedHandles {
 public:
  explicit InheritedHandles(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    ready_ = InitializeProcThreadAttributeList(list_, 1, 0, &size) &&
             UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                       handles_.size() * sizeof(HANDLE), nullptr, nullptr);
  }
  ~InheritedHandles() {
    if (list_ != nullptr) DeleteProcThreadAttributeList(list_);
  }
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;

  LPPROC_THREAD_ATTRIBUTE_LIST List() const { return ready_ ? list_ : nullptr; }

 private:
  std::vector<HANDLE> handles_;
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
  bool ready_ = false;
};

// Starts the program suspended in a job that ends its processes when closed, then lets it run;
// gives its process handle. The full path as the application name keeps CreateProcessW from
// searching anywhere itself.
Result<HANDLE> Start(const ProgramToRun& run, HANDLE output, HANDLE job) {
  const std::wstring program = Wide(run.program);
  std::wstring commandLine = L'"' + program + L'"';
  for (const std::string& argument : run.arguments) {
    commandLine += L' ' + QuotedArgument(Wide(argument));
  }
  std::wstring environment = EnvironmentBlock(run.environment);
  const std::wstring folder = Wide(run.folder);

  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  const HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inheritable, OPEN_EXISTING, 0, nullptr);
  const HANDLE childOutput = InheritableCopy(output);
  const HANDLE childErrors = InheritableCopy(GetStdHandle(STD_ERROR_HANDLE));
  std::vector<HANDLE> handles;
  for (const HANDLE handle : {input, childOutput, childErrors}) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) handles.push_back(handle);
  }
  const InheritedHandles inherited(handles);
  STARTUPINFOEXW startup = {};
  startup.StartupInfo.cb = sizeof(startup);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = input;
  startup.StartupInfo.hStdOutput = childOutput;
  startup.StartupInfo.hStdError = childErrors;
  startup.lpAttributeList = inherited.List();
  PROCESS_INFORMATION process = {};
  BOOL started = FALSE;
  DWORD reason = ERROR_INVALID_PARAMETER;
  if (startup.lpAttributeList != nullptr) {
    started =
        CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT,
                       environment.data(), folder.empty() ? nullptr : folder.c_str(),
                       &startup.StartupInfo, &process);
    reason = GetLastError();
  }
  CloseIfOpen(input);
  CloseIfOpen(childOutput);
  CloseIfOpen(childErrors);
  if (!started) return Reason{"cannot run " + run.program + ": " + OsErrorText(reason)};
  AssignProcessToJobObject(job, process.hProcess);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  return process.hProcess;
}

// A job that ends its processes when closed: the program and whatever it leaves running.
HANDLE KillOnCloseJob() {
  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
  return job;
}

// Hands the program's output to onOutput until the pipe closes; false when the deadline came
// first. Anonymous pipes cannot be waited on with a timeout: take only what waits in the pipe, so
// that no read blocks, and look at the deadline on every pass, so that a program whose output
// never pauses is ended on time too.
bool ReadUntilClosed(HANDLE outputRead, RunClock::time_point deadline,
                     const std::function<void(std::string_view)>& onOutput) {
  char buffer[kRunReadSize];
  for (;;) {
    if (RunClock::now() >= deadline) return false;
    DWORD available = 0;
    if (!PeekNamedPipe(outputRead, nullptr, 0, nullptr, &available, nullptr)) return true;
    DWORD count = 0;
    if (available > 0 &&
        ReadFile(outputRead, buffer, std::min<DWORD>(available, sizeof(buffer)), &count, nullptr)) {
      onOutput(std::string_view(buffer, count));
      continue;
    }
    Sleep(kRunPollMs);
  }
}

// Waits for the program's exit until the deadline, and ends its job when it has not exited.
ProgramEnd AwaitExit(HANDLE process, HANDLE job, RunClock::time_point deadline, bool timedOut) {
  ProgramEnd result;
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - RunClock::now());
  if (timedOut || WaitForSingleObject(process, static_cast<DWORD>(std::max<long long>(
                                                   left.count(), 0))) != WAIT_OBJECT_0) {
    result.end = RunEnd::kTimedOut;
    TerminateJobObject(job, 1);
    WaitForSingleObject(process, INFINITE);
  }
  DWORD status = 0;
  GetExitCodeProcess(process, &status);
  result.exitStatus = static_cast<int>(status);
  return result;
}

}  // namespace

Result<ProgramEnd> RunProgram(const ProgramToRun& run, std::chrono::milliseconds timeout,
                              const std::function<void(std::string_view)>& onOutput) {
  const RunClock::time_point deadline = RunClock::now() + timeout;
  HANDLE outputRead = nullptr;
  HANDLE outputWrite = nullptr;
  if (!CreatePipe(&outputRead, &outputWrite, nullptr, 0)) {
    return Reason{"cannot make a pipe: " + OsErrorText(LastOsError())};
  }
  const HANDLE job = KillOnCloseJob();
  const Result<HANDLE> process = Start(run, outputWrite, job);
  CloseHandle(outputWrite);
  if (!process) {
    CloseHandle(outputRead);
    CloseIfOpen(job);
    return Reason{process.why()};
  }
  const bool closed = ReadUntilClosed(outputRead, deadline, onOutput);
  const ProgramEnd result = AwaitExit(*process, job, deadline, !closed);
  CloseHandle(*process);
  CloseHandle(outputRead);
  // Ends what the program left running.
  CloseHandle(job);
  return result;
}
