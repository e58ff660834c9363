#!/usr/bin/env python3
"""Runs ctest with the arguments given and passes its output through, and whenever ctest has
been silent for a while, names the tests still running and how long each has run, so that the
end-to-end sessions (a minute or two each, mostly waiting out the plugin's set-up) never leave a
run silent. The exit status is ctest's.

  scripts/ctest_heartbeat.py --preset windows
"""

import re
import subprocess
import sys
import threading
import time

# The longest silence a run may have; ctest's own lines count.
QUIET_SECONDS = 20
STARTED = re.compile(r"^\s+Start\s+\d+: (\S+)")
ENDED = re.compile(r"^\s*\d+/\d+ Test\s+#\d+: (\S+) ")


def main(arguments):
    running = {}  # test name -> when it started
    lock = threading.Lock()
    last_output = [time.monotonic()]
    process = subprocess.Popen(["ctest"] + arguments, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True, errors="replace")

    def say(line):
        with lock:
            sys.stdout.write(line)
            sys.stdout.flush()
            last_output[0] = time.monotonic()

    def heartbeat():
        while process.poll() is None:
            time.sleep(1)
            now = time.monotonic()
            with lock:
                quiet = now - last_output[0] >= QUIET_SECONDS
                names = sorted(running, key=running.get)
                still = ", ".join("%s (%d s)" % (name, now - running[name]) for name in names)
            if quiet and still:
                say("      ... still running: %s\n" % still)

    threading.Thread(target=heartbeat, daemon=True).start()
    for line in process.stdout:
        started = STARTED.match(line)
        ended = ENDED.match(line)
        with lock:
            if started:
                running[started.group(1)] = time.monotonic()
            elif ended:
                running.pop(ended.group(1), None)
        say(line)
    return process.wait()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
