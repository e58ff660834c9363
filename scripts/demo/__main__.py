"""python3 scripts/demo [options]: see scripts/demo.sh --help."""

import os
import sys

if not __package__:
    # Run as a folder, Python puts the folder itself first in the path; the package is found in
    # the folder above.
    sys.path[0] = os.path.dirname(os.path.abspath(os.path.dirname(__file__)))

from demo.run import main  # noqa: E402 (found through the path above)

sys.exit(main(sys.argv[1:]))
