#include "run_program.h"

#include <algorithm>
#include <cctype>
#include <cwchar>
#include <mutex>

#include "script_rules.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;
#endif  // _WIN32

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadSize = 8192;
constexpr int kPollMs = 20;

bool IsOneOf(std::string_view name, const std::vector<std::pair<std::string, std::string>>& added,
             bool ignoreCase) {
  for (const auto& [addedName, value] : added) {
    if (name.size() != addedName.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i) {
      same = ignoreCase ? std::toupper(static_cast<unsigned char>(name[i])) ==
                              std::toupper(static_cast<unsigned char>(addedName[i]))
                        : name[i] == addedName[i];
    }
    if (same) return true;
  }
  return false;
}

}  // namespace

#ifdef _WIN32

namespace {

// Only one program at a time may be started with inheritable handles: another one started
// meanwhile would inherit this one's pipe and keep it open.
std::mutex StartLock;

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

std::string ErrorText(DWORD code) {
  wchar_t text[256] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                 256, nullptr);
  std::string message = Narrow(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message.empty() ? "Windows error " + std::to_string(code) : message;
}

// A bare name is searched as CreateProcessW would, with ".exe" added when it has no extension.
bool FindProgram(const std::string& program, std::wstring& path, std::string& error) {
  path = Wide(program);
  if (program.find_first_of("\\/:") != std::string::npos) return true;
  wchar_t found[MAX_PATH];
  const DWORD length = SearchPathW(nullptr, path.c_str(), L".exe", MAX_PATH, found, nullptr);
  if (length == 0 || length >= MAX_PATH) {
    error = program + " is not beside the rule file, nor on the PATH";
    return false;
  }
  path = found;
  return true;
}

// The environment block: console-server's own, with the added variables in place of any of
// the same names (which Windows compares without case).
std::wstring EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& added) {
  std::wstring block;
  wchar_t* own = GetEnvironmentStringsW();
  for (const wchar_t* entry = own; entry != nullptr && *entry != L'\0';
       entry += wcslen(entry) + 1) {
    const std::wstring_view text(entry);
    // Entries such as "=C:=C:\dir" start with "=": their name goes on to the next "=".
    const std::size_t equals = text.find(L'=', 1);
    if (IsOneOf(Narrow(text.substr(0, equals)), added, true)) continue;
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

// Starts the program suspended in a job that ends its processes when closed, then lets it run.
bool Start(const ProgramToRun& run, HANDLE output, HANDLE job, PROCESS_INFORMATION& process,
           std::string& error) {
  std::wstring program;
  if (!FindProgram(run.program, program, error)) return false;
  if (IsBatchFile(Narrow(program))) {
    error = run.program + " is a batch file, which cmd.exe would parse again";
    return false;
  }
  std::wstring commandLine = L'"' + program + L'"';
  for (const std::string& argument : run.arguments) {
    commandLine += L' ' + QuotedArgument(Wide(argument));
  }
  std::wstring environment = EnvironmentBlock(run.environment);
  const std::wstring folder = Wide(run.folder);

  std::lock_guard<std::mutex> hold(StartLock);
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  const HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inheritable, OPEN_EXISTING, 0, nullptr);
  const HANDLE childOutput = InheritableCopy(output);
  const HANDLE childErrors = InheritableCopy(GetStdHandle(STD_ERROR_HANDLE));
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = childOutput;
  startup.hStdError = childErrors;
  const BOOL started =
      CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                     CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED, environment.data(),
                     folder.empty() ? nullptr : folder.c_str(), &startup, &process);
  const DWORD reason = GetLastError();
  CloseIfOpen(input);
  CloseIfOpen(childOutput);
  CloseIfOpen(childErrors);
  if (!started) {
    error = "cannot run " + Narrow(program) + ": " + ErrorText(reason);
    return false;
  }
  AssignProcessToJobObject(job, process.hProcess);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  return true;
}

}  // namespace

std::wstring QuotedArgument(std::wstring_view argument) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal unless a quote follows: then each one needs a second, and the
    // quote its own.
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    out.push_back(c);
    backslashes = 0;
  }
  // Before the closing quote, too.
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

RunResult RunProgram(const ProgramToRun& run, std::chrono::milliseconds timeout,
                     const std::function<void(std::string_view)>& onOutput) {
  RunResult result;
  const Clock::time_point deadline = Clock::now() + timeout;
  HANDLE outputRead = nullptr;
  HANDLE outputWrite = nullptr;
  if (!CreatePipe(&outputRead, &outputWrite, nullptr, 0)) {
    result.error = "cannot make a pipe: " + ErrorText(GetLastError());
    return result;
  }
  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
  PROCESS_INFORMATION process = {};
  const bool started = Start(run, outputWrite, job, process, result.error);
  CloseHandle(outputWrite);
  if (!started) {
    CloseHandle(outputRead);
    CloseIfOpen(job);
    return result;
  }
  result.end = RunEnd::kExited;
  // Anonymous pipes cannot be waited on with a timeout: look every few milliseconds instead.
  char buffer[kReadSize];
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(outputRead, nullptr, 0, nullptr, &available, nullptr)) break;
    DWORD count = 0;
    if (available > 0 && ReadFile(outputRead, buffer, sizeof(buffer), &count, nullptr)) {
      onOutput(std::string_view(buffer, count));
      continue;
    }
    if (Clock::now() >= deadline) {
      result.end = RunEnd::kTimedOut;
      break;
    }
    Sleep(kPollMs);
  }
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (result.end == RunEnd::kTimedOut ||
      WaitForSingleObject(process.hProcess, static_cast<DWORD>(std::max<long long>(
                                                left.count(), 0))) != WAIT_OBJECT_0) {
    result.end = RunEnd::kTimedOut;
    TerminateJobObject(job, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  result.exitStatus = static_cast<int>(status);
  CloseHandle(process.hProcess);
  CloseHandle(outputRead);
  // Ends what the program left running.
  CloseHandle(job);
  return result;
}

#else

namespace {

// A bare name is searched on the PATH here, before the fork: the child only execs.
std::string FoundOnPath(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  const char* path = std::getenv("PATH");
  std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (!folders.empty()) {
    const std::size_t colon = folders.find(':');
    const std::string_view folder = folders.substr(0, colon);
    folders.remove_prefix(colon == std::string_view::npos ? folders.size() : colon + 1);
    // A relative folder would name another place once the child is in the rule file's folder.
    if (folder.empty() || folder[0] != '/') continue;
    const std::string candidate = std::string(folder) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return program;
}

std::vector<std::string> Environment(
    const std::vector<std::pair<std::string, std::string>>& added) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (IsOneOf(text.substr(0, text.find('=')), added, false)) continue;
    entries.emplace_back(text);
  }
  for (const auto& [name, value] : added) entries.push_back(name + "=" + value);
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Only async-signal-safe calls between fork and exec: the other threads' locks may be held.
[[noreturn]] void ExecChild(const char* path, char** argv, char** envp, const char* folder,
                            int input, int output, int failures) {
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  dup2(input, STDIN_FILENO);
  dup2(output, STDOUT_FILENO);
  if (folder[0] == '\0' || chdir(folder) == 0) execve(path, argv, envp);
  const int reason = errno;
  (void)!write(failures, &reason, sizeof(reason));
  _exit(127);
}

bool Exited(pid_t child, int& status) {
  int raw = 0;
  if (waitpid(child, &raw, WNOHANG) != child) return false;
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  return true;
}

}  // namespace

RunResult RunProgram(const ProgramToRun& run, std::chrono::milliseconds timeout,
                     const std::function<void(std::string_view)>& onOutput) {
  RunResult result;
  const Clock::time_point deadline = Clock::now() + timeout;
  const std::string path = FoundOnPath(run.program);
  std::vector<std::string> words = {path};
  words.insert(words.end(), run.arguments.begin(), run.arguments.end());
  std::vector<std::string> environment = Environment(run.environment);
  std::vector<char*> argv = Pointers(words);
  std::vector<char*> envp = Pointers(environment);

  // Every descriptor is close-on-exec, so that programs running at once do not hold each
  // other's pipes open; the failures pipe closes by itself when exec succeeds.
  int output[2];
  int failures[2];
  const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (input < 0 || pipe2(output, O_CLOEXEC) != 0) {
    result.error = std::string("cannot make a pipe: ") + std::strerror(errno);
    if (input >= 0) close(input);
    return result;
  }
  if (pipe2(failures, O_CLOEXEC) != 0) {
    result.error = std::string("cannot make a pipe: ") + std::strerror(errno);
    close(input);
    close(output[0]);
    close(output[1]);
    return result;
  }
  const pid_t child = fork();
  if (child == 0) {
    ExecChild(path.c_str(), argv.data(), envp.data(), run.folder.c_str(), input, output[1],
              failures[1]);
  }
  const int forkError = errno;
  close(input);
  close(output[1]);
  close(failures[1]);
  int reason = 0;
  const bool failed = child < 0 || read(failures[0], &reason, sizeof(reason)) == sizeof(reason);
  close(failures[0]);
  if (failed) {
    result.error = "cannot run " + path + ": " + std::strerror(child < 0 ? forkError : reason);
    close(output[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return result;
  }

  result.end = RunEnd::kExited;
  char buffer[kReadSize];
  bool outputOpen = true;
  for (;;) {
    if (!outputOpen && Exited(child, result.exitStatus)) break;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      result.end = RunEnd::kTimedOut;
      kill(-child, SIGKILL);
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
      break;
    }
    if (!outputOpen) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      continue;
    }
    pollfd readable = {output[0], POLLIN, 0};
    if (poll(&readable, 1, static_cast<int>(std::min<long long>(left, kPollMs * 10))) <= 0) {
      continue;
    }
    const ssize_t count = read(output[0], buffer, sizeof(buffer));
    if (count > 0) {
      onOutput(std::string_view(buffer, static_cast<std::size_t>(count)));
    } else if (count == 0 || errno != EINTR) {
      outputOpen = false;
    }
  }
  close(output[0]);
  return result;
}

#endif  // _WIN32
