"""Building what the demo runs, and nothing else: the plugin (unless --plugin gives one), the
simulated game with the loader it links, console-server, and console-help-check, which the
demo's hints have you run. No test program: scripts/test.sh builds those."""

import os
import subprocess
import sys

from demo import places

LOG = os.path.join("build", "demo-build.log")  # relative to the tree, as the progress line says


def steps(options):
    """The builds of this run, in order: (configuration, target, what the line says)."""
    windows = ([] if options.plugin else ["ConsoleRelay"]) + ["Zandrel"]  # Zandrel links loader
    return ([("windows", target, "%s for Windows" % target) for target in windows] +
            [("native", target, "%s for Linux" % target)
             for target in ("console-server", "console-help-check")])


def needed_files(options):
    """The built files that this run starts."""
    needed = [places.GAME, places.LOADER]
    if not options.plugin:
        needed.append(places.BUILT_PLUGIN)
    if not options.own_console:
        needed.append(places.CONSOLE_SERVER)
    return needed


def missing_file(options):
    """A built file that this run needs and that is missing, or None."""
    return next((path for path in needed_files(options) if not os.path.exists(path)), None)


def configure_options(preset):
    # Without GoogleTest (scripts/test.sh installs it), the native configuration leaves the unit
    # tests out: it could not be configured with them.
    if preset != "native":
        return []
    try:
        status = subprocess.run(["dpkg-query", "-W", "-f=${Status}", "libgtest-dev"],
                                capture_output=True).stdout
    except OSError:
        status = b""
    return [] if b"install ok installed" in status else ["-DCONSOLE_RELAY_TESTS=OFF"]


def run_step(number, count, step, write):
    preset, target, what = step
    write(b"== %d/%d %s\n" % (number, count, what.encode()))
    commands = [["cmake", "--build", "--preset", preset, "-j2", "--target", target]]
    if not os.path.exists(os.path.join(places.ROOT, "build", preset, "CMakeCache.txt")):
        commands.insert(0, ["cmake", "--preset", preset] + configure_options(preset))
    for command in commands:
        process = subprocess.Popen(command, cwd=places.ROOT, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT)
        for line in process.stdout:
            write(line)
        if process.wait() != 0:
            return False
    return True


def build(options):
    """Builds what this run needs, one "cmake --build" per target, so that the progress line runs
    from 0 to 100% once over all of them (make counts each target it is given from 0 anew).
    The output goes to a log, shown whole when the build fails. Whether it succeeded."""
    os.makedirs(os.path.join(places.ROOT, "build"), exist_ok=True)
    progress = subprocess.Popen([os.path.join(places.SCRIPTS_DIR, "build_progress.sh"), LOG],
                                cwd=places.ROOT, stdin=subprocess.PIPE)
    with open(os.path.join(places.ROOT, LOG), "wb") as log:
        def write(data):
            log.write(data)
            try:
                progress.stdin.write(data)
                progress.stdin.flush()
            except OSError:
                pass  # the progress line is gone; the build and its log go on

        todo = steps(options)
        built = all(run_step(number, len(todo), step, write)
                    for number, step in enumerate(todo, 1))
    try:
        progress.stdin.close()
    except OSError:
        pass
    progress.wait()
    if not built:
        with open(os.path.join(places.ROOT, LOG), "rb") as log:
            sys.stderr.buffer.write(log.read())
        sys.stderr.write("The build failed; its output is above and in %s.\n" % LOG)
    return built
