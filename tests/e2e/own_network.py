"""Runs one end-to-end test module inside a network namespace of its own, with its own Wine prefix.

Each session then has a loopback, and so a console port 127.0.0.1:50382, to itself, and the
sessions can run side by side. ctest starts this under `unshare --net` (or, without root,
`unshare --user --map-root-user --net`):

    python3 own_network.py test_relay_session     # runs `python3 -m unittest -v test_relay_session`
    python3 own_network.py --probe                # exit 0 when a session could run here

Wine's sockets are made by its wineserver, and one wineserver serves every process of one prefix,
whatever namespace they started in; so each session needs a prefix of its own. A prepared prefix
is copied once into the build folder, and each session gets a hard-linked tree of that copy
(seconds instead of a minute of wineboot), removed again at the end.
"""

import fcntl
import os
import shutil
import socket
import struct
import subprocess
import sys

from harness import CONSOLE_PORT, WINE

BUILD_DIR = os.environ.get("CONSOLE_RELAY_BUILD") or os.path.dirname(
    os.environ.get("CONSOLE_RELAY_BIN", os.getcwd()))
PREFIX_ROOT = os.path.join(BUILD_DIR, "e2e-wine")
TEMPLATE = os.path.join(PREFIX_ROOT, "template")
# Registry files are written by wineserver: each session gets copies, not links.
COPIED_FILES = {"system.reg", "user.reg", "userdef.reg", ".update-timestamp"}
WINE_ENV = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml="}

# Set in the environment of a module run here, so that it knows the network is its own.
OWN_NETWORK_VARIABLE = "CONSOLE_RELAY_OWN_NETWORK"

SIOCGIFFLAGS = 0x8913
SIOCSIFFLAGS = 0x8914
IFF_UP = 0x1


def bring_up_loopback():
    """`ip link set lo up` without needing iproute2."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        request = struct.pack("16sH22x", b"lo", 0)
        flags = struct.unpack("16sH22x", fcntl.ioctl(s, SIOCGIFFLAGS, request))[1]
        fcntl.ioctl(s, SIOCSIFFLAGS, struct.pack("16sH22x", b"lo", flags | IFF_UP))


def probe():
    """A new namespace is usable when its loopback comes up and the console port can be bound."""
    bring_up_loopback()
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", CONSOLE_PORT))
        s.listen(1)


def shrink_tcp_buffers(size):
    """Makes every TCP socket created from now on in this network hold at most `size` bytes each
    way, so that a peer that stops reading fills them within a few sends. Only in a network of
    one's own: returns False, and changes nothing, on the host's network."""
    if os.environ.get(OWN_NETWORK_VARIABLE) != "1":
        return False
    for name in ("tcp_wmem", "tcp_rmem"):
        with open("/proc/sys/net/ipv4/" + name, "w") as f:
            f.write("%d %d %d" % (size, size, size))
    return True


def narrow_local_ports(first, last):
    """Makes connects in this network take their local port from first..last. Only in a network
    of one's own: returns False, and changes nothing, on the host's network."""
    if os.environ.get(OWN_NETWORK_VARIABLE) != "1":
        return False
    with open("/proc/sys/net/ipv4/ip_local_port_range", "w") as f:
        f.write("%d %d" % (first, last))
    return True


def wineserver():
    return os.path.join(os.path.dirname(WINE), "wineserver")


def user_prefix():
    return os.environ.get("WINEPREFIX") or os.path.join(os.path.expanduser("~"), ".wine")


def make_template():
    """Copies the user's prepared prefix into the build folder once (or prepares one there)."""
    os.makedirs(PREFIX_ROOT, exist_ok=True)
    with open(os.path.join(PREFIX_ROOT, ".lock"), "w") as lock:
        # Sessions start together: one makes the template, the others wait for it.
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(os.path.join(TEMPLATE, "system.reg")):
            return
        shutil.rmtree(TEMPLATE, ignore_errors=True)
        source = user_prefix()
        if os.path.exists(os.path.join(source, "system.reg")):
            partial = TEMPLATE + ".partial"
            shutil.rmtree(partial, ignore_errors=True)
            shutil.copytree(source, partial, symlinks=True)
            os.rename(partial, TEMPLATE)
        else:
            env = dict(os.environ, WINEPREFIX=TEMPLATE, **WINE_ENV)
            subprocess.run([WINE, "wineboot", "--init"], env=env, check=False,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            subprocess.run([wineserver(), "-w"], env=env, check=False)


def link_tree(source, target):
    """A copy of source whose files are hard links, but for the registry files."""
    for folder, dirs, files in os.walk(source):
        relative = os.path.relpath(folder, source)
        destination = os.path.normpath(os.path.join(target, relative))
        os.makedirs(destination, exist_ok=True)
        for name in dirs + files:
            path = os.path.join(folder, name)
            copy = os.path.join(destination, name)
            if os.path.islink(path):
                os.symlink(os.readlink(path), copy)
            elif name in files:
                if name in COPIED_FILES and folder == source:
                    shutil.copy2(path, copy)
                else:
                    os.link(path, copy)
        # Symbolic links to folders (dosdevices) are made above and not walked into.
        dirs[:] = [d for d in dirs if not os.path.islink(os.path.join(folder, d))]


def remove_prefix(prefix, env):
    if os.path.isdir(prefix):
        subprocess.run([wineserver(), "-k"], env=env, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(prefix, ignore_errors=True)


def remove_abandoned_prefixes():
    """Prefixes of runs that were killed (named for the runner's process id) go."""
    for name in os.listdir(PREFIX_ROOT):
        pid = name.rsplit("-", 1)[-1]
        if pid.isdigit() and not os.path.exists("/proc/" + pid):
            shutil.rmtree(os.path.join(PREFIX_ROOT, name), ignore_errors=True)


def run_module(module):
    bring_up_loopback()
    make_template()
    remove_abandoned_prefixes()
    # One prefix per run: the same module may run from two builds' DLLs at once.
    prefix = os.path.join(PREFIX_ROOT, "%s-%d" % (module, os.getpid()))
    env = dict(os.environ, WINEPREFIX=prefix, **WINE_ENV)
    env[OWN_NETWORK_VARIABLE] = "1"
    link_tree(TEMPLATE, prefix)
    try:
        here = os.path.dirname(os.path.abspath(__file__))
        return subprocess.run([sys.executable, "-m", "unittest", "-v", module], cwd=here,
                              env=env).returncode
    finally:
        remove_prefix(prefix, env)


def main(argv):
    if argv[1:] == ["--probe"]:
        probe()
        return 0
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    return run_module(argv[1])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
