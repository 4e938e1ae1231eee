#!/usr/bin/env bash
# The main job: installs what is needed (Debian packages and the Python
# environment in build/venv, through scripts/deps.sh), builds and installs the
# orvane_core module into that environment, then feeds the bundled BIDMC
# recording to a Session second by second and prints the vitals
# (examples/quickstart.py). matplotlib, the optional plotting extra, is
# installed too so that the example can draw its plot; without it the example
# still runs and prints.
# Usage: scripts/quickstart.sh [arguments for examples/quickstart.py]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh --python-only-runtime

py=build/venv/bin/python
echo "quickstart: building and installing the orvane_core module"
$py -m pip install -q --disable-pip-version-check --no-build-isolation \
  -Cbuild-dir=build/python .

if ! $py -c 'import matplotlib' 2>/dev/null; then
  echo "quickstart: installing matplotlib for the plot"
  $py -m pip install -q --disable-pip-version-check matplotlib ||
    echo "quickstart: matplotlib could not be installed; the example will skip the plot"
fi

echo
exec $py examples/quickstart.py "$@"
