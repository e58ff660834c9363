// The program of console_server_measure.py's flood rule: prints its argument's number of
// megabytes (default 50) of short lines to stdout as fast as the pipe takes them, as a
// talkative rule's program would.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const long megabytes = argc > 1 ? std::atol(argv[1]) : 50;
  std::string block;
  while (block.size() < 64 * 1024) block += "flood flood flood flood flood flood flood flood\n";
  const long long total = megabytes * 1000 * 1000;
  for (long long written = 0; written < total;) {
    const std::size_t part =
        static_cast<std::size_t>(std::min<long long>(block.size(), total - written));
    if (std::fwrite(block.data(), 1, part, stdout) != part) return 1;
    written += static_cast<long long>(part);
  }
  return 0;
}
