#!/usr/bin/env bash
# Keyward serving and injecting under Wine: a throwaway Program Files folder with the user's
# setup record, the stand-in client as the recorded Vorlane.exe, the input observer, and one
# session (hello, enable, a key, a text, a click, a scroll, a pointer move, disable).
# Usage: scripts/demo/serve_input.sh BUILD_DIR   (with $WINEPREFIX ready)
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR}
: "${WINEPREFIX:?WINEPREFIX must name a prepared Wine prefix}"
export WINEDEBUG=${WINEDEBUG:--all} LC_ALL=C.UTF-8

# The setup, the helper and the observer are started from the Windows side; the demo program
# points the prefix's Program Files at its throwaway folder for the helper, and stops them again.
wine "$build/bin/serve_input_demo.exe" </dev/null
