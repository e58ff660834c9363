#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "common/os_error.h"
#include "programs/run_program_shared.h"

extern char** environ;

namespace {

std::vector<std::string> Environment(const AddedVariables& added) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (IsAdded(text.substr(0, text.find('=')), added, NameCase::kSensitive)) continue;
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

// The highest descriptor number that can be open, for the child's sweep.
int DescriptorLimit() {
  rlimit limit = {};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 65536;
  return static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
}

// Every descriptor above stderr closes at exec, whoever opened it and however: the program
// gets no socket and no file of console-server's, even one that a library opened without
// O_CLOEXEC.
void CloseAtExecAbove2(int limit) {
#ifdef CLOSE_RANGE_CLOEXEC
  if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
#endif  // CLOSE_RANGE_CLOEXEC
  for (int descriptor = 3; descriptor < limit; ++descriptor) {
    fcntl(descriptor, F_SETFD, FD_CLOEXEC);
  }
}

// console-server ignores SIGPIPE (and may block others); a program starts with the defaults,
// or "yes | head -n 1" would print "Broken pipe".
void ResetSignals() {
  struct sigaction defaults = {};
  defaults.sa_handler = SIG_DFL;
  sigemptyset(&defaults.sa_mask);
  for (int number = 1; number < NSIG; ++number) sigaction(number, &defaults, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Only async-signal-safe calls between fork and exec: the other threads' locks may be held.
[[noreturn]] void ExecChild(const char* path, char** argv, char** envp, const char* folder,
                            int input, int output, int failures, int descriptorLimit) {
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  ResetSignals();
  dup2(input, STDIN_FILENO);
  dup2(output, STDOUT_FILENO);
  CloseAtExecAbove2(descriptorLimit);
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

// A program that started: its process and the reading end of its stdout pipe.
struct Started {
  pid_t child = -1;
  int output = -1;
};

// Starts the program, or says why it could not start (exec's own failure included).
Result<Started> StartProgram(const ProgramToRun& run) {
  std::vector<std::string> words = {run.program};
  words.insert(words.end(), run.arguments.begin(), run.arguments.end());
  std::vector<std::string> environment = Environment(run.environment);
  std::vector<char*> argv = Pointers(words);
  std::vector<char*> envp = Pointers(environment);
  const int descriptorLimit = DescriptorLimit();

  // Every descriptor is close-on-exec, so that programs running at once do not hold each
  // other's pipes open; the failures pipe closes by itself when exec succeeds.
  int output[2];
  int failures[2];
  const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (input < 0 || pipe2(output, O_CLOEXEC) != 0) {
    const Reason why{"cannot make a pipe: " + OsErrorText(LastOsError())};
    if (input >= 0) close(input);
    return why;
  }
  if (pipe2(failures, O_CLOEXEC) != 0) {
    const Reason why{"cannot make a pipe: " + OsErrorText(LastOsError())};
    close(input);
    close(output[0]);
    close(output[1]);
    return why;
  }
  const pid_t child = fork();
  if (child == 0) {
    ExecChild(run.program.c_str(), argv.data(), envp.data(), run.folder.c_str(), input, output[1],
              failures[1], descriptorLimit);
  }
  const unsigned long forkError = LastOsError();
  close(input);
  close(output[1]);
  close(failures[1]);
  int reason = 0;
  const bool failed = child < 0 || read(failures[0], &reason, sizeof(reason)) == sizeof(reason);
  close(failures[0]);
  if (failed) {
    const unsigned long code = child < 0 ? forkError : static_cast<unsigned long>(reason);
    close(output[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return Reason{"cannot run " + run.program + ": " + OsErrorText(code)};
  }
  return Started{child, output[0]};
}

// Hands the program's output to onOutput until it exited, or ends it at the deadline. Each pass
// looks at the deadline, and each wait ends by it: a program whose output never pauses is ended
// on time too.
ProgramEnd ReadUntilEnd(const Started& started, RunClock::time_point deadline,
                        const std::function<void(std::string_view)>& onOutput) {
  ProgramEnd result;
  char buffer[kRunReadSize];
  bool outputOpen = true;
  for (;;) {
    if (!outputOpen && Exited(started.child, result.exitStatus)) break;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - RunClock::now()).count();
    if (left <= 0) {
      result.end = RunEnd::kTimedOut;
      kill(-started.child, SIGKILL);
      kill(started.child, SIGKILL);
      waitpid(started.child, nullptr, 0);
      break;
    }
    if (!outputOpen) {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(left, kRunPollMs)));
      continue;
    }
    pollfd readable = {started.output, POLLIN, 0};
    if (poll(&readable, 1, static_cast<int>(std::min<long long>(left, kRunPollMs * 10))) <= 0) {
      continue;
    }
    const ssize_t count = read(started.output, buffer, sizeof(buffer));
    if (count > 0) {
      onOutput(std::string_view(buffer, static_cast<std::size_t>(count)));
    } else if (count == 0 || errno != EINTR) {
      outputOpen = false;
    }
  }
  close(started.output);
  return result;
}

}  // namespace

Result<ProgramEnd> RunProgram(const ProgramToRun& run, std::chrono::milliseconds timeout,
                              const std::function<void(std::string_view)>& onOutput) {
  const RunClock::time_point deadline = RunClock::now() + timeout;
  const Result<Started> started = StartProgram(run);
  if (!started) return Reason{started.why()};
  return ReadUntilEnd(*started, deadline, onOutput);
}
