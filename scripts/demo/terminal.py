"""The demo's output: one line per message, tagged with where it comes from, and on a terminal
a line kept under them (the set-up's progress, or the prompt) that is drawn again below each new
line. The game's reader, console-server's reader and the main thread all write through one
Terminal, which takes its own lock."""

import os
import sys
import threading

try:
    import readline  # line editing and history for the prompt
except ImportError:
    readline = None

PROMPT = "you> "
# Each source of output gets a tag and, on a terminal, a colour.
TAGS = {"demo": "1;36", "chat": "32", "log": "34", "console": "33", "game": "31"}
# Characters that reorder, hide or break how a terminal shows a line (the bidirectional controls
# U+061C, U+200E, U+200F, U+202A to U+202E and U+2066 to U+2069; U+200B; U+2028 and U+2029).
BIDI_CONTROLS = frozenset({0x061C, 0x200B, 0x200E, 0x200F, 0x2028, 0x2029, *range(0x202A, 0x202F),
                           *range(0x2066, 0x206A)})


def text(data):
    """data as console-help-check prints a text: bytes that are no UTF-8, the controls (C0, DEL
    and C1) and the bidirectional controls as \\xNN of their bytes; every other letter as it is.
    So a game's line shows on one line, whatever bytes it holds."""
    shown = []
    for character in data.decode("utf-8", "surrogateescape"):
        code = ord(character)
        if 0xDC80 <= code <= 0xDCFF:  # a byte that is no UTF-8, as surrogateescape keeps it
            shown.append("\\x%02x" % (code - 0xDC00))
        elif code < 0x20 or 0x7F <= code <= 0x9F or code in BIDI_CONTROLS:
            shown.extend("\\x%02x" % byte for byte in character.encode("utf-8"))
        else:
            shown.append(character)
    return "".join(shown)


class Terminal:
    def __init__(self, stream=None, keyboard=None):
        self.stream = stream or sys.stdout
        self.keyboard = keyboard or sys.stdin
        self.on_terminal = self.stream.isatty()
        self.colour = self.on_terminal and not os.environ.get("NO_COLOR")
        self.lock = threading.Lock()
        # The line under the output: the progress line, PROMPT while the prompt is on the screen,
        # or None.
        self.footer = None
        # Between read_line's call and readline's drawing of the prompt: a line shown then may
        # land before the prompt or after it, so it is written over the row the prompt would
        # take, and the prompt is drawn again once readline has drawn it.
        self.prompt_coming = False
        self.prompt_overwritten = False

    def show(self, source, message):
        line = "%-7s | %s" % (source, message)
        if self.colour:
            line = "\033[%sm%s\033[0m" % (TAGS[source], line)
        with self.lock:
            try:
                if self.on_terminal and self.footer is not None:
                    # Write over the footer, then draw it again below the new line.
                    self.stream.write("\r\033[K" + line + "\n" + self._footer_text())
                elif self.on_terminal and self.prompt_coming:
                    self.stream.write("\r\033[K" + line + "\n")
                    self.prompt_overwritten = True
                else:
                    self.stream.write(line + "\n")
                self.stream.flush()
            except OSError:
                pass  # the terminal is gone; the clean-up must go on all the same

    def _footer_text(self):
        if self.footer == PROMPT and readline:
            return PROMPT + readline.get_line_buffer()
        return self.footer or ""

    def set_progress(self, line):
        with self.lock:
            self.footer = line
            if self.on_terminal:
                self.stream.write("\r\033[K" + line)
                self.stream.flush()

    def clear_progress(self):
        with self.lock:
            if self.on_terminal and self.footer is not None and self.footer != PROMPT:
                try:
                    self.stream.write("\r\033[K")
                    self.stream.flush()
                except OSError:
                    pass
            self.footer = None

    def new_line(self):
        """Ends the line the prompt or the progress stood on (after Ctrl-C or Ctrl-D)."""
        if self.on_terminal:
            self.stream.write("\n")

    def read_line(self):
        """The next line typed at the prompt; EOFError at the end of the input. Lines shown
        while it waits go above the prompt. The prompt counts as on the screen only from when it
        is drawn, so that a line shown just before is never followed by two prompts."""
        typed_here = self.keyboard.isatty()
        if not (typed_here and self.on_terminal):
            return input(PROMPT if typed_here else "")
        if readline and hasattr(readline, "set_pre_input_hook"):
            # Called by readline once it has drawn the prompt, before it reads a key.
            readline.set_pre_input_hook(self._prompt_drawn)
            with self.lock:
                self.prompt_coming = True
            try:
                return input(PROMPT)
            finally:
                readline.set_pre_input_hook()
                self._prompt_gone()
        with self.lock:
            self.stream.write(PROMPT)
            self.stream.flush()
            self.footer = PROMPT
        try:
            return input("")
        finally:
            self._prompt_gone()

    def _prompt_drawn(self):
        with self.lock:
            if self.prompt_overwritten:
                try:
                    self.stream.write("\r\033[K" + PROMPT)
                    self.stream.flush()
                except OSError:
                    pass
            self.prompt_coming = self.prompt_overwritten = False
            self.footer = PROMPT

    def _prompt_gone(self):
        with self.lock:
            self.prompt_coming = self.prompt_overwritten = False
            self.footer = None
