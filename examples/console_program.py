#!/usr/bin/env python3
"""A console program for the ConsoleRelay plugin: answers /kick and /spawn, prints every line."""
import contextlib
import os
import socket
import sys
import time

ANSWERS = {"kick": "Kicked {}.", "spawn": "Spawned {} in front of you."}

server = socket.socket()
# Restarted, it can listen at once, not only once the last run's connection has closed (~60 s).
# (On Windows SO_REUSEADDR would let two programs share the port: SO_EXCLUSIVEADDRUSE instead.)
reuse = socket.SO_EXCLUSIVEADDRUSE if os.name == "nt" else socket.SO_REUSEADDR
server.setsockopt(socket.SOL_SOCKET, reuse, 1)
try:
    server.bind(("127.0.0.1", 50382))  # where the plugin connects
    server.listen()
except OSError as error:  # another program listens there: a demo, console-server, this one again
    sys.exit("cannot listen on 127.0.0.1:50382: %s (another program listens on it, or the last "
             "run's connection is still closing)" % os.strerror(error.errno))
print("listening on 127.0.0.1:50382: the game links to it, started now or earlier", flush=True)
with server, contextlib.suppress(KeyboardInterrupt):  # Ctrl-C ends it quietly
    while True:
        game, _ = server.accept()  # the plugin: 5 s after the game starts, or within 2 s
        print("game connected", flush=True)
        with game, contextlib.suppress(ConnectionError):  # a game that ends resets it at times
            while line := game.recv(4099):  # one command line per receive, e.g. b"kick bob"
                text = line.decode("utf-8", "replace")
                print("> " + text, flush=True)
                command, _, args = text.partition(" ")
                answer = ANSWERS[command].format(args) if command in ANSWERS else "No such command."
                game.sendall(("console " + answer).encode())  # the chat shows the text
                time.sleep(0.1)  # so that two answers never reach one read of the plugin
        print("the game went away; waiting for the next start", flush=True)
