// A program for the tests of "=>" rules: what console-server gives it, and output of every
// shape, in the same way on Linux and Windows. "test_program MODE ...", where MODE is one of
//   args ARG...   prints each argument as "[ARG]", as the C runtime read the command line
//   env           prints CONSOLE_LINE, CONSOLE_COMMAND and CONSOLE_ARGS, each as "[VALUE]"
//   stdin         prints how many bytes its stdin holds
//   lines N       prints N lines
//   long          prints one line longer than a message can carry, of 3-byte characters
//   sleep S       prints nothing for S seconds, then "awake"
//   fail N        exits with status N, printing nothing
//   flood         prints lines from 4 threads, a write each, until it is ended
//   inherited     prints its open descriptors, and whether SIGPIPE is ignored or any signal
//                 blocked (POSIX)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#endif  // !_WIN32

namespace {

void PrintEnvironment(const char* name) {
  const char* value = std::getenv(name);
  std::printf("[%s]\n", value != nullptr ? value : "(unset)");
}

// A line per write from 4 threads keeps the pipe from ever being empty.
void Flood() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::vector<std::thread> writers;
  for (int i = 0; i < 4; ++i) {
    writers.emplace_back([] {
      for (;;) std::fputs("flood flood flood flood flood flood flood flood\n", stdout);
    });
  }
  for (std::thread& writer : writers) writer.join();
}

void PrintInherited() {
#ifndef _WIN32
  std::string open = "descriptors";
  for (int descriptor = 0; descriptor < 1024; ++descriptor) {
    if (fcntl(descriptor, F_GETFD) != -1) open += " " + std::to_string(descriptor);
  }
  struct sigaction pipe = {};
  sigaction(SIGPIPE, nullptr, &pipe);
  sigset_t blocked;
  sigprocmask(SIG_SETMASK, nullptr, &blocked);
  std::printf("%s\nSIGPIPE %s\nSIGTERM %s\n", open.c_str(),
              pipe.sa_handler == SIG_IGN ? "ignored" : "default",
              sigismember(&blocked, SIGTERM) ? "blocked" : "not blocked");
#endif  // !_WIN32
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const int number = argc > 2 ? std::atoi(argv[2]) : 0;
  if (mode == "args") {
    for (int i = 2; i < argc; ++i) std::printf("[%s]\n", argv[i]);
  } else if (mode == "env") {
    PrintEnvironment("CONSOLE_LINE");
    PrintEnvironment("CONSOLE_COMMAND");
    PrintEnvironment("CONSOLE_ARGS");
  } else if (mode == "stdin") {
    std::string all;
    for (int c = std::getchar(); c != EOF; c = std::getchar()) all += static_cast<char>(c);
    std::printf("stdin %zu bytes\n", all.size());
  } else if (mode == "lines") {
    for (int i = 1; i <= number; ++i) std::printf("line %d\n", i);
  } else if (mode == "long") {
    std::string line;
    for (int i = 0; i < 400; ++i) line += "\xE2\x82\xAC";  // the euro sign
    std::printf("%s\n", line.c_str());
  } else if (mode == "sleep") {
    std::this_thread::sleep_for(std::chrono::seconds(number));
    std::printf("awake\n");
  } else if (mode == "fail") {
    return number;
  } else if (mode == "flood") {
    Flood();
  } else if (mode == "inherited") {
    PrintInherited();
  } else {
    std::fprintf(stderr, "test_program: unknown mode %s\n", mode.c_str());
    return 2;
  }
  return 0;
}
