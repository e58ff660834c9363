"""The plugin's log lines and numbers that the demo reads, taken from their homes in the plugin's
sources through the harness."""

from demo.places import harness

READY_LINE = harness.plugin_text("relay/relay_worker.cpp", "kReady")
# The plugin's first line, written as soon as the game has loaded it.
LOADING_LINE = harness.plugin_text("entry/load.cpp", "kLoading")
# How long the game may run without that line before the demo takes the DLL for another one.
LOADING_WAIT = 10
LINK_LINES = "relay/server_link.h"
CONNECTED_LINE = harness.plugin_text(LINK_LINES, "kConnectSucceeded")
# The plugin's lines when a link to a console program is made later, or lost.
LINKED_AGAIN_LINE = harness.plugin_text(LINK_LINES, "kConnectedAgain")
LINK_LOST_LINE = harness.plugin_text(LINK_LINES, "kConnectionLost")
NOT_SENT_PREFIX = harness.plugin_text("relay/pending_lines.cpp", "kNotSent")
# The log line of a console message shown in the chat: this, then the text shown.
CONSOLE_MESSAGE_PREFIX = harness.plugin_text("relay/relay_pass.cpp", "kConsoleLine")
# The plugin's lines when it cannot reach the console program (all but the socket's creation).
CONNECT_FAILURES = tuple(harness.plugin_text(LINK_LINES, name) for name in (
    "kConnectFailed", "kInvalidSocket", "kNonBlockingFailed", "kWinsockFailed"))
# While it has no link, the plugin looks for a console program this often.
RETRY_SECONDS = harness.plugin_constant("kConnectRetry") / 1000
# What the plugin logs for every command line that holds a space.
TEST_LINE = b"TEST"
HELP_FILE_PREFIX = b"[Console] Help file "
