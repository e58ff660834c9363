"""The demo: the real plugin in the simulated game under Wine, with a console program.

scripts/demo.sh installs what is missing and runs this package (python3 scripts/demo), which
builds what it runs, starts console-server (or leaves the console port to yours), starts the game
in a folder of its own whose help folder is a link to the chosen one (so that an edit shows on
the next request, as in the game), waits out the plugin's set-up, plays a short scripted session
and then hands the chat to the person at the keyboard. Whatever it starts, it stops. The game is
driven through the end-to-end tests' harness (tests/e2e/harness.py), so that tests and demo read
the game in one way.

One Demo object (run.py) owns the run's state; each module does one job for it:
  places.py     where the demo's files are, and finding things in the user's folders
  plugin_lines.py  the plugin's log lines that the demo reads, from their homes
  options.py    the command line
  plugin_file.py  which DLL runs, and why a file given cannot be the plugin
  building.py   building what the demo runs, and nothing else
  terminal.py   the tagged output lines and the line under them (progress, prompt)
  processes.py  the game and console-server: starting, following, stopping
  hints.py      what the demo explains, and when
  session.py    the scripted session
  prompt.py     the person at the keyboard
"""
