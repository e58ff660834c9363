#!/usr/bin/env python3
"""Measures the real plugin inside the simulated game under Wine and writes the figures as JSON.

Four hosts run side by side, so that all of them see the same machine at the same time: the game
with ConsoleRelay.dll, the same host with BaselineRelay.dll (a thread making only the calls every
pass must make: one receive on a connected non-blocking socket and a 10 ms sleep, taken as the
plugin takes it), with BaselineRelaySleep.dll (the same with the system's Sleep), and the host
alone. After the plugin's set-up:

- idle CPU: the on-CPU time of each host process over the same window, from the kernel's per-thread
  accounting (/proc/<pid>/task/*/schedstat, in nanoseconds), with the console program connected
  and silent;
- the pass period, from how often the plugin blanks a typed "/" line (the game's "watchblank");
- latency, both ways, on one clock: the host's performance counter is CLOCK_MONOTONIC_RAW under
  Wine, which the calibration below checks (and corrects for, were it not);
- memory: resident anonymous memory (what Wine reports as the process's private bytes) of each
  host, sampled throughout, and the counters the host itself reads with GetProcessMemoryInfo;
- without a link: idle CPU again, and the take latency, once the console program has stopped and
  the plugin's retries fail; then how soon a console program that starts listening is linked.

It uses the console port: run it under the port's lock, as scripts/bench.sh does:

    flock /tmp/console-relay-port.lock python3 bench/wine_measure.py --bin build/windows/bin \\
        --out build/bench/results/wine.json
"""

import argparse
import json
import os
import random
import re
import statistics
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness  # noqa: E402  (the e2e tests' driver of the simulated game)

PLUGIN = "ConsoleRelay.dll"
# The reference pauses as the plugin does; the other with the system's Sleep, for comparison.
BASELINES = {"baseline": "BaselineRelay.dll", "baseline_sleep": "BaselineRelaySleep.dll"}
HELP_COMMAND = "big"
HELP_LINES = 20000
# What the plugin allows: lines shown per request, and bytes of a help file (src/help/help_file.h).
MAX_HELP_LINES = harness.plugin_constant("kMaxHelpLines")
MAX_HELP_FILE_BYTES = harness.plugin_constant("kMaxHelpFileBytes")
RETRY_SECONDS = harness.plugin_constant("kConnectRetry") / 1000
CONNECTION_LOST = "[Console] [Server] Connection lost"
CONNECTED_AGAIN = "[Console] [Server] Connected again"


def now_ns():
    return time.clock_gettime_ns(harness.ARRIVAL_CLOCK)


def thread_cpu_ns(pid):
    """On-CPU time of the process's live threads, and how many there are."""
    total, threads = 0, 0
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                total += int(f.read().split()[0])
            threads += 1
        except (OSError, ValueError):
            pass
    return total, threads


def process_cpu_ticks_ns(pid):
    """utime + stime of the whole process, dead threads included (clock-tick resolution)."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) * 1_000_000_000 // os.sysconf("SC_CLK_TCK")


def find_wineserver():
    for pid in os.listdir("/proc"):
        if pid.isdigit():
            try:
                with open("/proc/%s/comm" % pid) as f:
                    if f.read().startswith("wineserver"):
                        return int(pid)
            except OSError:
                pass
    return None


def status_kib(pid):
    values = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, rest = line.partition(":")
            if key in ("RssAnon", "VmHWM", "VmRSS", "VmSwap"):
                values[key] = int(rest.split()[0])
    return values


def image_size(path):
    """SizeOfImage from a PE file's optional header."""
    with open(path, "rb") as f:
        data = f.read(4096)
    header = int.from_bytes(data[0x3C:0x40], "little")
    return int.from_bytes(data[header + 24 + 56:header + 24 + 60], "little")


def image_private_kib(pid, path):
    """Anonymous memory inside a loaded module's image: Wine reads the sections of an image whose
    file alignment is below the page size into private pages rather than mapping the file."""
    name = os.path.basename(path)
    mappings, current = [], None
    with open("/proc/%d/smaps" % pid) as f:
        for line in f:
            fields = line.split()
            if re.match(r"^[0-9a-f]+-[0-9a-f]+$", fields[0]):
                low, high = (int(x, 16) for x in fields[0].split("-"))
                current = [low, high, fields[5] if len(fields) > 5 else "", 0]
                mappings.append(current)
            elif fields[0] == "Anonymous:":
                current[3] += int(fields[1])
    starts = [low for low, _, mapped, _ in mappings if mapped.endswith(name)]
    if not starts:
        return None
    base = min(starts)
    end = base + image_size(path)
    return sum(anon for low, _, _, anon in mappings if base <= low < end)


class MemorySampler:
    """The highest resident anonymous memory of each process, sampled every 50 ms."""

    def __init__(self):
        self.pids = {}
        self.peaks = {}
        self.lock = threading.Lock()
        self.running = True
        threading.Thread(target=self._run, daemon=True).start()

    def watch(self, name, pid):
        with self.lock:
            self.pids[name] = pid

    def forget(self, name):
        with self.lock:
            self.pids.pop(name, None)

    def _run(self):
        while self.running:
            with self.lock:
                for name, pid in self.pids.items():
                    try:
                        status = status_kib(pid)
                    except OSError:
                        continue
                    anon = status.get("RssAnon", 0) + status.get("VmSwap", 0)
                    self.peaks[name] = max(self.peaks.get(name, 0), anon)
            time.sleep(0.05)

    def peak_kib(self, name):
        with self.lock:
            return self.peaks.get(name)

    def reset_peak(self, name):
        """Starts the peak of one process anew, from its next sample."""
        with self.lock:
            self.peaks.pop(name, None)
        time.sleep(0.12)


def host_memory(game, pid, module=None):
    """The host's own counters (GetProcessMemoryInfo), and the kernel's view of the process."""
    payload = game.command("memory").payload.split()[1:]
    counters = {key: int(value) for key, value in (item.split("=") for item in payload)}
    memory = {"host_counters": counters, "proc_status_kib": status_kib(pid),
              "threads": len(os.listdir("/proc/%d/task" % pid))}
    if module:
        memory["module_image_private_kib"] = image_private_kib(
            pid, os.path.join(harness.BIN_DIR, module))
    return memory


def measure_idle_cpu(pids, seconds):
    """On-CPU time of each process over one window in which nothing is asked of any of them."""
    start = {name: (thread_cpu_ns(pid), process_cpu_ticks_ns(pid)) for name, pid in pids.items()}
    window_start = time.monotonic()
    time.sleep(seconds)
    window = time.monotonic() - window_start
    idle = {"window_seconds": window}
    for name, pid in pids.items():
        (cpu0, threads0), ticks0 = start[name]
        (cpu1, threads1), ticks1 = thread_cpu_ns(pid), process_cpu_ticks_ns(pid)
        # A thread that ended inside the window would take its time along: the counts show it.
        idle[name] = {"cpu_ms": (cpu1 - cpu0) / 1e6,
                      "cpu_ms_from_ticks": (ticks1 - ticks0) / 1e6,
                      "percent_of_one_core": (cpu1 - cpu0) / 1e9 / window * 100,
                      "threads": [threads0, threads1]}
    return idle


def calibrate_clock(game, rounds=40):
    """Offset of the host's performance counter from CLOCK_MONOTONIC_RAW, from the round trip of
    the "clock" command with the shortest time (the midpoint of its round trip is taken as the
    moment the host read its counter)."""
    best = None
    for _ in range(rounds):
        before = now_ns()
        payload = game.command("clock").payload.split()
        after = now_ns()
        ticks, frequency = int(payload[1]), int(payload[2])
        host_ns = ticks * 1_000_000_000 // frequency
        sample = (after - before, host_ns - (before + after) // 2, frequency)
        if best is None or sample[0] < best[0]:
            best = sample
    return {"round_trip_ns": best[0], "offset_ns": best[1], "ticks_per_second": best[2]}


def watch_blank_period_ms(game, ms):
    """Mean time between the plugin's passes: a "/" line stays typed and the game writes the
    blanked first byte back, so each pass blanks it once."""
    game.command("poke text /period")
    game.command("poke first 0x2f")
    game.command("poke state 2")
    blanks = int(game.command("watchblank %d" % ms, timeout=ms / 1000 + 15).payload.split()[1])
    game.command("poke state 0")
    game.command("poke first 0")
    game.command("poke text ")
    return {"window_ms": ms, "passes": blanks, "period_ms": ms / blanks if blanks else None}


def to_local_ns(host_ticks, clock):
    return host_ticks * 1_000_000_000 // clock["ticks_per_second"] - clock["offset_ns"]


def measure_take_latency(game, console, clock, samples, rng):
    """From the game setting the sent state (the take condition) to the bytes reaching the
    console program. Enter is pressed a random 0-10 ms after the plugin blanked the line, so the
    moments fall anywhere between two passes."""
    game.command("set hold 60")
    latencies, missed = [], 0
    for i in range(samples):
        expected = b"bench %d" % i
        since = console.received_size()
        done = game.command("timedtype %d /%s" % (rng.randrange(0, 11), expected.decode()))
        sent_at = to_local_ns(int(done.payload.split()[1]), clock)
        arrived = console.wait_arrival(since, expected, timeout=2.0)
        if arrived is None:
            missed += 1
        else:
            latencies.append((arrived - sent_at) / 1e6)
    game.command("set hold 300")
    return latencies, missed


def sim_ms_at(game, ticks):
    """The host's counter ticks as the milliseconds of the game's event lines, which count from
    the loader's start: the offset comes from a "clock" command's own event line (within 1 ms)."""
    done = game.command("clock")
    now_ticks, frequency = (int(x) for x in done.payload.split()[1:3])
    return done.ms - (now_ticks - ticks) * 1000 / frequency


def measure_take_without_link(game, samples, rng):
    """From Enter to the plugin's log line for the line taken (the line is then logged as not
    sent), while no console program listens and the retries fail; in the event lines' whole
    milliseconds."""
    game.command("set hold 60")
    latencies = []
    for i in range(samples):
        line = b"bench %d" % i
        since = game.mark()
        done = game.command("timedtype %d /%s" % (rng.randrange(0, 11), line.decode()))
        entered = sim_ms_at(game, int(done.payload.split()[1]))
        taken = game.wait_log(b"[Console] [Bench] " + line, since)
        game.wait_log(b"[Console] [Server] Not sent: " + line, since)
        latencies.append(taken.ms - entered)
    game.command("set hold 300")
    return latencies


def measure_link_found(game, console, samples, rng):
    """Stops the console program and starts it again at a random moment of the plugin's retry
    interval: the time from its listen to the plugin's "Connected again" line, as this driver
    reads it (so a little more than the plugin took). Returns the times and the last console
    program, still listening."""
    found_ms = []
    for _ in range(samples):
        since = game.mark()
        console.stop()
        game.wait_log(CONNECTION_LOST, since)
        time.sleep(rng.uniform(0.0, RETRY_SECONDS))
        since = game.mark()
        console = harness.ConsoleProgram()
        listening = now_ns()
        game.wait_log(CONNECTED_AGAIN, since, timeout=RETRY_SECONDS + 10)
        found_ms.append((now_ns() - listening) / 1e6)
    return found_ms, console


def measure_chat_latency(game, console, clock, samples, rng):
    """From the console program's send to the game's chat display routine being called, sends
    spaced by a random 0-11 ms beyond the previous line's arrival."""
    latencies, missed = [], 0
    for i in range(samples):
        text = b"m%d" % i
        time.sleep(rng.uniform(0.0, 0.011))
        since = game.mark()
        sent_at = now_ns()
        console.send(b"console " + text)
        try:
            game.wait_for(lambda e: e.kind == "chat" and e.chat[4] == text, since, timeout=2.0)
        except AssertionError:
            missed += 1
            continue
        shown_at = to_local_ns(int(game.command("lastchat").payload.split()[1]), clock)
        latencies.append((shown_at - sent_at) / 1e6)
    return latencies, missed


def measure_help_request(game, memory, pid):
    """One request for the 1 MiB help file through the real plugin: the time from Enter to the
    last chat line (the plugin parses all 20,000 lines and shows the first MAX_HELP_LINES)."""
    before = memory.peak_kib("plugin")
    since = game.mark()
    done = game.command("timedtype 0 /" + HELP_COMMAND, timeout=60)
    entered = int(done.payload.split()[1])
    # Polled: a wait that rescans every event on each line would be slow.
    deadline = time.monotonic() + 120
    while (len(game.kinds("chat", since)) < MAX_HELP_LINES
           and time.monotonic() < deadline):
        time.sleep(0.05)
    shown = int(game.command("lastchat").payload.split()[1])
    lines = len(game.kinds("chat", since))
    time.sleep(0.3)
    return {"enter_to_last_line_ms": (shown - entered) * 1000 / game_clock_frequency(game),
            "lines": lines, "peak_rss_anon_kib_before": before,
            "peak_rss_anon_kib_after": memory.peak_kib("plugin"),
            "after": host_memory(game, pid)}


def largest_help_file_text():
    """A help file of exactly the largest size the plugin reads, whose entry "help" holds as many
    lines as fit: empty strings, three bytes each."""
    head, tail = '{"help":[', ']}'
    count = (MAX_HELP_FILE_BYTES - len(head) - len(tail) + 1) // 3
    text = head + ",".join(['""'] * count)
    text += " " * (MAX_HELP_FILE_BYTES - len(text) - len(tail)) + tail
    assert len(text) == MAX_HELP_FILE_BYTES
    return text, count


def filled(head, unit, tail="", separator=""):
    """head, then as many units as fit in the largest help file allowed, then tail."""
    count = (MAX_HELP_FILE_BYTES - len(head) - len(tail) + len(separator)) // (len(unit) + len(separator))
    return head + separator.join([unit] * count) + tail


def many_keys_text():
    """An entry that is an object of as many distinct four-letter keys as fit."""
    letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
    head, tail = '{"help":{', "}}"
    members, size = [], len(head) + len(tail)
    for a in letters:
        for b in letters:
            for c in letters:
                for d in letters:
                    member = '"%s%s%s%s":""' % (a, b, c, d)
                    if size + len(member) + 1 > MAX_HELP_FILE_BYTES:
                        return head + ",".join(members) + tail
                    members.append(member)
                    size += len(member) + 1
    return head + ",".join(members) + tail


# Help files of at most the size allowed, each of a shape that once made a request costly.
HELP_SHAPES = [
    ("1.4M empty strings", lambda: largest_help_file_text()[0]),
    ("4 MiB of [, never closed", lambda: "[" * MAX_HELP_FILE_BYTES),
    ("[[...]], balanced", lambda: "[" * (MAX_HELP_FILE_BYTES // 2) + "]" * (MAX_HELP_FILE_BYTES // 2)),
    ("1.4M {}", lambda: filled('{"help":[', "{}", "]}", ",")),
    ('4 MiB of nested {"":', lambda: filled("", '{"":')),
    ("about 420k keys", many_keys_text),
    ("one 4 MiB line", lambda: filled('{"help":"', "x", '"}')),
]


def measure_help_shape(game, command, pauses, grow_path=None):
    """Asks for the command's help and types a "/" line right after. The worker's pause is from
    the log line it writes on taking the request to the moment it blanks that line: reading,
    parsing, showing, logging and freeing all lie between. With grow_path, that help file grows
    while the request reads it."""
    since = game.mark()
    grower = None
    if grow_path:
        grower = threading.Thread(target=grow_while_read, args=(grow_path, game, since))
        grower.start()
    game.type("/%s help" % command)
    game.command("type /probe now", timeout=60)
    asked = game.wait_log("[Console] finding help for " + command, since)
    game.wait_log("[Console] [Probe] probe now", since, timeout=30)
    blanked = game.kinds("blank", since)[-1]
    pauses.append(blanked.ms - asked.ms)
    if grower:
        grower.join()
    return since


def grow_while_read(path, game, since, appended_bytes=105 << 20):
    """Appends to the help file from 40 ms after the request's log line on."""
    game.wait_for(lambda e: e.kind == "log" and e.log_text.startswith(b"[Console] finding help"),
                  since, timeout=30)
    time.sleep(0.04)
    block = (',"a"' * (1 << 18)).encode()
    with open(path, "ab") as f:
        for _ in range(appended_bytes // len(block)):
            f.write(block)


def measure_help_shapes(game, memory, pid):
    """Every shape of HELP_SHAPES, and one file that grows while it is read: the worker's longest
    pause and the game's peak private memory over what it was just before."""
    # A short hold, so that the probe follows at once (the hold is the floor of every pause
    # measured); a long wait for its blank, so that a long pause is measured rather than missed.
    game.command("set hold 30")
    game.command("set typewait 30000")
    results = []
    shapes = HELP_SHAPES + [("growing from 4 MiB by 105 MB while read", None)]
    for index, (name, make) in enumerate(shapes):
        command = "shape%d" % index
        path = os.path.join(game.help_dir, command + "Help.json")
        text = make() if make else '{"help":["a"' + ',"a"' * ((MAX_HELP_FILE_BYTES - 200) // 4)
        with open(path, "w") as f:
            f.write(text)
        time.sleep(0.5)
        # The kernel's own peak of the resident set, started anew: exact, where the samples
        # every 50 ms can miss a short request's peak.
        with open("/proc/%d/clear_refs" % pid, "w") as f:
            f.write("5")
        before = status_kib(pid)
        idle_kib = before.get("RssAnon", 0) + before.get("VmSwap", 0)
        memory.reset_peak("plugin")
        pauses = []
        # A growing file is asked for once: the first request leaves it grown.
        for _ in range(2 if make else 1):
            since = measure_help_shape(game, command, pauses, None if make else path)
            time.sleep(0.5)
        problems = [t.decode("latin-1") for t in game.logs(since) if b"Help file" in t]
        after = status_kib(pid)
        results.append({"shape": name, "file_bytes": len(text), "pause_ms": pauses,
                        "idle_rss_anon_kib": idle_kib, "peak_rss_anon_kib": memory.peak_kib("plugin"),
                        "resident_kib": before["VmRSS"], "peak_resident_kib": after["VmHWM"],
                        "lines_shown": len(game.chats(since)), "logged": problems})
        os.remove(path)
    game.command("set hold 300")
    game.command("set typewait 2000")
    return results


def game_clock_frequency(game):
    return int(game.command("clock").payload.split()[2])


def help_file_text():
    # The same 1 MiB, 20,000-line file as bench/help_request_bench.cpp writes.
    lines, size = HELP_LINES, 1 << 20
    head, tail = '{"help": [\n', "]}\n"
    text_bytes = size - (len(head) + len(tail) + lines * 5 + lines - 1)
    words = "the quick brown fox jumps over the lazy dog "
    out = [head]
    for line in range(lines):
        length = text_bytes // lines + (1 if line < text_bytes % lines else 0)
        text = "Line %05d: " % (line + 1)
        while len(text) < length:
            text += words[len(text) % len(words)]
        out.append('  "%s"%s\n' % (text[:length], "," if line + 1 < lines else ""))
    out.append(tail)
    return "".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bin", required=True, help="folder of Zandrel.exe and the DLLs")
    parser.add_argument("--out", required=True, help="JSON file to write")
    parser.add_argument("--wine", default=harness.WINE)
    parser.add_argument("--idle-seconds", type=float, default=60.0)
    parser.add_argument("--samples", type=int, default=250)
    parser.add_argument("--period-ms", type=int, default=2000)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()

    harness.BIN_DIR = os.path.abspath(args.bin)
    harness.WINE = args.wine
    harness.EXAMPLES_DIR = ""
    # The receiving thread must not wait long for the interpreter while another thread runs.
    sys.setswitchinterval(0.0005)
    rng = random.Random(args.seed)
    results = {"idle_seconds": args.idle_seconds}
    memory = MemorySampler()

    # Only the plugin sends to it: the baselines receive and never send.
    console = harness.ConsoleProgram()
    hosts = {}
    try:
        started = time.monotonic()
        # The baselines connect at once, the plugin 5 s after it is loaded: one at a time, so that
        # the plugin's connection is known to be the last.
        for count, (name, module) in enumerate(BASELINES.items(), start=1):
            hosts[name] = harness.Game(plugin=module)
            console.wait_connected(count, timeout=30)
        hosts["plugin"] = harness.Game(help_files={HELP_COMMAND: help_file_text()})
        hosts["bare"] = harness.Game(plugin=None)
        for name, game in hosts.items():
            memory.watch(name, game.process.pid)
        plugin = hosts["plugin"]
        plugin.command("ready")
        # The plugin's connection is the last, the one ConsoleProgram sends on.
        console.wait_connected(len(BASELINES) + 1, timeout=30)
        plugin.wait_log("[Console] [Server] Success", timeout=30)
        plugin.wait_ready()
        results["setup_seconds"] = time.monotonic() - started
        time.sleep(2.0)

        pids = {name: game.process.pid for name, game in hosts.items()}
        wineserver = find_wineserver()
        if wineserver:
            pids["wineserver"] = wineserver
        results["idle"] = measure_idle_cpu(pids, args.idle_seconds)
        # The console program goes: every host's link is lost, and the plugin's retries fail.
        since = plugin.mark()
        console.stop()
        plugin.wait_log(CONNECTION_LOST, since)
        results["idle_unlinked"] = measure_idle_cpu(pids, args.idle_seconds)
        results["take_unlinked_ms"] = measure_take_without_link(plugin, args.samples, rng)
        since = plugin.mark()
        console = harness.ConsoleProgram()
        plugin.wait_log(CONNECTED_AGAIN, since, timeout=RETRY_SECONDS + 10)
        modules = dict(BASELINES, plugin=PLUGIN, bare=None)
        results["memory"] = {name: host_memory(game, game.process.pid, modules[name])
                             for name, game in hosts.items()}
        for name in list(BASELINES) + ["bare"]:
            results["memory"][name]["peak_rss_anon_kib"] = memory.peak_kib(name)
            memory.forget(name)
            hosts.pop(name).close()

        # Latency both ways, between two measurements of the pass period.
        clock_before = calibrate_clock(plugin)
        period_before = watch_blank_period_ms(plugin, args.period_ms)
        take, take_missed = measure_take_latency(plugin, console, clock_before,
                                                 args.samples, rng)
        chat, chat_missed = measure_chat_latency(plugin, console, clock_before, args.samples,
                                                 rng)
        period_after = watch_blank_period_ms(plugin, args.period_ms)
        clock_after = calibrate_clock(plugin)
        periods = [p["period_ms"] for p in (period_before, period_after) if p["period_ms"]]
        results["period"] = {"before": period_before, "after": period_after,
                             "period_ms": statistics.mean(periods) if periods else None}
        results["clock"] = {"source": "CLOCK_MONOTONIC_RAW", "before": clock_before,
                            "after": clock_after}
        results["take_latency_ms"] = take
        results["take_missed"] = take_missed
        results["chat_latency_ms"] = chat
        results["chat_missed"] = chat_missed

        results["memory"]["plugin"]["after_latency"] = host_memory(plugin, plugin.process.pid)
        results["help_request"] = measure_help_request(plugin, memory, plugin.process.pid)
        results["memory"]["plugin"]["peak_before_largest_kib"] = memory.peak_kib("plugin")
        results["help_shapes"] = measure_help_shapes(plugin, memory, plugin.process.pid)
        results["link_found_ms"], console = measure_link_found(plugin, console, 10, rng)
        results["memory"]["plugin"]["peak_rss_anon_kib"] = memory.peak_kib("plugin")
        results["total_seconds"] = time.monotonic() - started
    finally:
        memory.running = False
        for game in hosts.values():
            game.close()
        console.stop()

    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    with open(args.out, "w") as f:
        json.dump(results, f, indent=1)
    print("wine_measure: wrote %s in %.0f s" % (args.out, results["total_seconds"]))


if __name__ == "__main__":
    main()
