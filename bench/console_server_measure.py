#!/usr/bin/env python3
"""Measures console-server under load and writes the figures as JSON.

One console-server runs (natively, or console-server.exe under Wine with --emulator) on a free
port with a rule file of its own:

    kick -> Kicked {args}.
    say -> {args}
    flood => print_megabytes 50

Then, one phase after the other:

- idle: nothing connected, for --idle-seconds: its wake-ups a second (the voluntary context
  switches of all its threads, /proc/<pid>/task/*/status) and its CPU
  (/proc/<pid>/task/*/schedstat);
- the game's reply: two clients play the game, each sending `kick gN` and timing the reply
  `console Kicked gN.` on its connection, a little over the reply pacing apart; first with no
  attack, then under each flood:
  - 100 idle clients, connected and silent;
  - 200 clients each sending one-byte pieces as fast as they can (a process of their own);
  - 4 programs printing 50 MB each (4 clients send `flood` once);
  - connect, send `kick x`, reset: --cycles times, as fast as it goes (a process of its own);
  - lines of 8 KiB sent to the `{args}` rule `say`: --cycles of them, on one connection;
- the lines console-server printed during each phase (until its fold counts are out), and the
  CPU of console-server, of the attacking process and of the whole machine meanwhile, so that a
  slow reply can be told from a starved one.

    python3 bench/console_server_measure.py \\
        --server build/bench-console-server/tools/console-server/console-server \\
        --printer build/bench-console-server/bench/print_megabytes \\
        --out build/bench/results/console-server-native.json
"""

import argparse
import json
import multiprocessing
import os
import random
import shutil
import socket
import struct
import subprocess
import tempfile
import threading
import time

# Replies on one connection go out at most one per 100 ms (reply_queue.h): the game's clients
# send a little slower, so that no sample waits for the pacing.
SEND_GAP_S = 0.11
REPLY_TIMEOUT_S = 2.0
GAME_CLIENTS = 2
IDLE_CLIENTS = 100
BYTE_SENDERS = 200
PROGRAMS = 4
PROGRAM_MEGABYTES = 50
LONG_LINE_BYTES = 8192
# After a phase, its fold counts come within a second (line_folds.h): wait for them.
FOLD_SETTLE_S = 1.5


def task_figures(pid):
    """Voluntary context switches and on-CPU nanoseconds of the process's live threads."""
    switches, cpu_ns = 0, 0
    try:
        tasks = os.listdir("/proc/%d/task" % pid)
    except OSError:
        return 0, 0
    for tid in tasks:
        try:
            with open("/proc/%d/task/%s/status" % (pid, tid)) as f:
                for line in f:
                    # Each time a thread went to sleep: the wake-ups that follow.
                    if line.startswith("voluntary_ctxt_switches"):
                        switches += int(line.split()[1])
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                cpu_ns += int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass
    return switches, cpu_ns


def run_delay_ns(pid):
    """How long the process's live threads were ready to run but waited for a CPU
    (/proc/<pid>/task/*/schedstat, second field): what the shared cores withheld."""
    total = 0
    try:
        tasks = os.listdir("/proc/%d/task" % pid)
    except (OSError, TypeError):
        return 0
    for tid in tasks:
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                total += int(f.read().split()[1])
        except (OSError, ValueError, IndexError):
            pass
    return total


def process_cpu_ns(pid):
    """utime + stime of the whole process, ended threads included (clock-tick resolution)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except (OSError, TypeError):
        return 0
    return (int(fields[11]) + int(fields[12])) * 1_000_000_000 // os.sysconf("SC_CLK_TCK")


def machine_busy():
    """Busy and total jiffies of all CPUs since boot."""
    with open("/proc/stat") as f:
        fields = [int(x) for x in f.readline().split()[1:]]
    idle = fields[3] + fields[4]
    return sum(fields) - idle, sum(fields)


def find_wineserver():
    """The wineserver of the prefix in use: it works in /tmp/.wine-UID/server-DEV-INODE."""
    prefix = os.stat(os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine")))
    folder = "server-%x-%x" % (prefix.st_dev, prefix.st_ino)
    for pid in os.listdir("/proc"):
        if pid.isdigit():
            try:
                if os.readlink("/proc/%s/cwd" % pid).endswith("/" + folder):
                    return int(pid)
            except OSError:
                pass
    return None


class Server:
    """console-server with its output lines noted as they come."""

    def __init__(self, command, env):
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, env=env)
        self.lines = []
        self.lock = threading.Lock()
        self.port = None
        self.listening = threading.Event()
        threading.Thread(target=self._read, daemon=True).start()
        if not self.listening.wait(60):
            raise RuntimeError("console-server did not listen")

    def _read(self):
        for raw in self.process.stdout:
            line = raw.decode("utf-8", "replace").rstrip("\n")
            with self.lock:
                self.lines.append((time.monotonic(), line))
            if self.port is None and "listening on 127.0.0.1:" in line:
                self.port = int(line.split("127.0.0.1:")[1].split()[0])
                self.listening.set()

    def count(self):
        with self.lock:
            return len(self.lines)

    def lines_since(self, index):
        with self.lock:
            return [line for _, line in self.lines[index:]]

    def stop(self):
        self.process.kill()
        self.process.wait()


def connect(port):
    s = socket.create_connection(("127.0.0.1", port))
    s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return s


def game_client(port, stop, tag, results, rng):
    """Sends kick lines one at a time until stopped; notes each reply's time in ms."""
    try:
        s = connect(port)
    except OSError:
        results.append(([], 1))
        return
    s.settimeout(REPLY_TIMEOUT_S)
    latencies, missed, number = [], 0, 0
    while not stop.is_set():
        number += 1
        expected = ("console Kicked %s%d." % (tag, number)).encode()
        started = time.perf_counter()
        s.sendall(("kick %s%d" % (tag, number)).encode())
        received = b""
        try:
            while expected not in received:
                chunk = s.recv(4096)
                if not chunk:
                    raise OSError("closed")
                received += chunk
            latencies.append((time.perf_counter() - started) * 1000)
        except socket.timeout:
            missed += 1
        except OSError:
            missed += 1
            break
        time.sleep(SEND_GAP_S + rng.uniform(0, 0.02))
    s.close()
    results.append((latencies, missed))


def byte_senders(port, stop, flooding):
    socks = []
    for _ in range(BYTE_SENDERS):
        s = connect(port)
        s.setblocking(False)
        socks.append(s)
    # The game is timed while they send, once all are connected.
    flooding.set()
    sent = 0
    while not stop.is_set():
        for s in socks:
            try:
                s.send(b"k")
                sent += 1
            except (BlockingIOError, InterruptedError):
                pass
            except OSError:
                return


def reset_cycles(port, cycles, stop, flooding):
    flooding.set()
    linger = struct.pack("ii", 1, 0)
    for _ in range(cycles):
        if stop.is_set():
            return
        try:
            s = connect(port)
            s.sendall(b"kick x")
            s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, linger)
            s.close()
        except OSError:
            time.sleep(0.001)


def long_lines(port, count, stop, flooding):
    s = connect(port)
    flooding.set()
    line = b"say " + b"x" * (LONG_LINE_BYTES - 4)
    for _ in range(count):
        if stop.is_set():
            break
        s.sendall(line)
        # One line a read: console-server takes each read as one command line.
        time.sleep(0.0005)
    time.sleep(0.5)
    s.close()


def percentile(values, fraction):
    ordered = sorted(values)
    if not ordered:
        return None
    rank = max(1, int(-(-fraction * len(ordered) // 1)))
    return ordered[min(rank, len(ordered)) - 1]


class Bench:
    def __init__(self, server, seconds, wineserver):
        self.server = server
        self.seconds = seconds
        self.wineserver = wineserver

    def phase(self, name, attack=None, attack_process=None, done=None, longest=None):
        """Game replies while an attack runs; the figures of the phase."""
        first_line = self.server.count()
        before = process_cpu_ns(self.server.process.pid)
        busy_before = machine_busy()
        wine_before = process_cpu_ns(self.wineserver)
        delay_before = run_delay_ns(self.server.process.pid) + run_delay_ns(self.wineserver)
        started = time.monotonic()
        stop = multiprocessing.Event()
        flooding = multiprocessing.Event()
        worker = None
        if attack_process:
            worker = multiprocessing.Process(target=attack_process[0],
                                             args=attack_process[1] + (stop, flooding))
            worker.start()
            flooding.wait(30)
        held = attack() if attack else None
        time.sleep(0.3)
        # The game plays for the phase's seconds at least, and on while the attack lasts.
        deadline = time.monotonic() + self.seconds
        limit = deadline + (longest or 0)
        results = []
        game_stop = threading.Event()
        threads = [threading.Thread(target=game_client,
                                    args=(self.server.port, game_stop, "g%d_" % i, results,
                                          random.Random(i)))
                   for i in range(GAME_CLIENTS)]
        for t in threads:
            t.start()
        attacker_cpu = 0
        while time.monotonic() < limit:
            attacking = worker is not None and worker.is_alive()
            if attacking:
                attacker_cpu = process_cpu_ns(worker.pid) or attacker_cpu
            if time.monotonic() >= deadline and not attacking and (
                    done is None or done(self.server.lines_since(first_line))):
                break
            time.sleep(0.05)
        game_stop.set()
        stop.set()
        for t in threads:
            t.join()
        if worker is not None:
            worker.join(5)
            if worker.is_alive():
                worker.terminate()
                worker.join()
        elapsed = time.monotonic() - started
        after = process_cpu_ns(self.server.process.pid)
        busy_after = machine_busy()
        wine_after = process_cpu_ns(self.wineserver)
        delay_after = run_delay_ns(self.server.process.pid) + run_delay_ns(self.wineserver)
        if held:
            for s in held:
                s.close()
        time.sleep(FOLD_SETTLE_S)
        printed = self.server.lines_since(first_line)
        latencies = [x for sample in results for x in sample[0]]
        jiffies = (busy_after[1] - busy_before[1]) or 1
        figures = {
            "name": name,
            "seconds": round(elapsed, 2),
            "samples": len(latencies),
            "missed": sum(sample[1] for sample in results),
            "p50_ms": percentile(latencies, 0.50),
            "p99_ms": percentile(latencies, 0.99),
            "max_ms": max(latencies) if latencies else None,
            "printed_lines": len(printed),
            "server_cpu_percent": round((after - before) / 1e7 / elapsed, 1),
            "attacker_cpu_percent": round(attacker_cpu / 1e7 / elapsed, 1),
            "machine_busy_percent": round(100 * (busy_after[0] - busy_before[0]) / jiffies, 1),
            # Per second of the phase, summed over console-server's threads (and the
            # wineserver's): time ready to run that waited for a CPU.
            "waited_for_cpu_ms_per_s": round((delay_after - delay_before) / 1e6 / elapsed, 1),
            "slowest_ms": sorted(latencies)[-5:],
            "loadavg": open("/proc/loadavg").read().split()[0],
            "last_printed": printed[-3:],
        }
        if self.wineserver:
            figures["wineserver_cpu_percent"] = round((wine_after - wine_before) / 1e7 / elapsed, 1)
        print("%-22s p50 %s p99 %s max %s ms, %d samples, %d missed, %d lines, server %s%% cpu,"
              " machine %s%% busy, waited for CPU %s ms/s" % (name, fmt(figures["p50_ms"]),
                                                                fmt(figures["p99_ms"]),
                                      fmt(figures["max_ms"]), figures["samples"],
                                      figures["missed"], figures["printed_lines"],
                                      figures["server_cpu_percent"],
                                      figures["machine_busy_percent"],
                                      figures["waited_for_cpu_ms_per_s"]), flush=True)
        return figures


def fmt(value):
    return "-" if value is None else "%.1f" % value


def main_thread_switches(pid):
    """Voluntary context switches of the first thread, where console-server's loop runs."""
    with open("/proc/%d/task/%d/status" % (pid, pid)) as f:
        for line in f:
            if line.startswith("voluntary_ctxt_switches"):
                return int(line.split()[1])
    return 0


def measure_idle(server, seconds):
    pid = server.process.pid
    time.sleep(1.5)
    switches_before, cpu_before = task_figures(pid)
    loop_before = main_thread_switches(pid)
    time.sleep(seconds)
    switches_after, cpu_after = task_figures(pid)
    loop_after = main_thread_switches(pid)
    figures = {
        "seconds": seconds,
        "wakeups_per_second": round((switches_after - switches_before) / seconds, 1),
        "loop_wakeups_per_second": round((loop_after - loop_before) / seconds, 1),
        "cpu_percent": round((cpu_after - cpu_before) / 1e7 / seconds, 3),
    }
    print("idle: %.1f wake-ups a second, %.3f%% CPU" % (figures["wakeups_per_second"],
                                                         figures["cpu_percent"]), flush=True)
    return figures


def runs_ended(lines):
    ended = [line for line in lines if ": exit status" in line or ": ended after" in line]
    return len(ended) >= PROGRAMS


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--printer", required=True, help="print_megabytes, built alike")
    parser.add_argument("--emulator", default="")
    parser.add_argument("--label", default="")
    parser.add_argument("--idle-seconds", type=float, default=10)
    parser.add_argument("--phase-seconds", type=float, default=4)
    parser.add_argument("--cycles", type=int, default=2000)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()

    folder = tempfile.mkdtemp(prefix="console-server-bench-")
    printer = os.path.join(folder, os.path.basename(args.printer))
    shutil.copy(args.printer, printer)
    rules = os.path.join(folder, "bench.rules")
    with open(rules, "w") as f:
        f.write("kick -> Kicked {args}.\nsay -> {args}\nflood => print_megabytes %d\n"
                % PROGRAM_MEGABYTES)
    env = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    command = ([args.emulator] if args.emulator else []) + [
        args.server, "--port", "0", "--script", rules]
    server = Server(command, env)
    wineserver = find_wineserver() if args.emulator else None
    report = {"label": args.label, "emulated": bool(args.emulator), "cpus": os.cpu_count(),
              "measured": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime())}
    try:
        report["idle"] = measure_idle(server, args.idle_seconds)
        bench = Bench(server, args.phase_seconds, wineserver)
        port = server.port
        phases = [bench.phase("no attack")]
        phases.append(bench.phase(
            "100 idle clients", attack=lambda: [connect(port) for _ in range(IDLE_CLIENTS)]))
        phases.append(bench.phase("200 one-byte senders", attack_process=(byte_senders, (port,))))

        def start_programs():
            held = []
            for _ in range(PROGRAMS):
                s = connect(port)
                s.sendall(b"flood")
                held.append(s)
            return held
        phases.append(bench.phase("4 programs of 50 MB", attack=start_programs, done=runs_ended,
                                  longest=30))
        phases.append(bench.phase("%d connect-send-resets" % args.cycles,
                                  attack_process=(reset_cycles, (port, args.cycles)),
                                  longest=60))
        phases.append(bench.phase("%d lines of 8 KiB" % args.cycles,
                                  attack_process=(long_lines, (port, args.cycles)), longest=60))
        report["phases"] = phases
        with open("/proc/loadavg") as f:
            report["loadavg"] = f.read().split()[:3]
    finally:
        server.stop()
        shutil.rmtree(folder, ignore_errors=True)
    with open(args.out, "w") as f:
        json.dump(report, f, indent=1)


if __name__ == "__main__":
    main()
