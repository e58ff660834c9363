#!/usr/bin/env python3
"""A console program for the ConsoleRelay plugin: answers /kick and /spawn, prints every line."""
import contextlib
import os
import socket
import sys
import time

ANSWERS = {"kick": "Kicked {}.", "spawn": "Spawned {} in front of you."}

try:
    server = socket.create_server(("127.0.0.1", 50382))  # where the plugin connects
except OSError as error:  # most often: another console program, or a demo, has the port
    sys.exit("cannot listen on 127.0.0.1:50382: " + os.strerror(error.errno))
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
