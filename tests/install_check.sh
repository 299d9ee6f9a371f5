#!/usr/bin/env bash
# cmake --install into a fresh prefix: the program runs from there, and its manual page renders without a warning.
#   install_check.sh BUILD-FOLDER SCRATCH-PREFIX
set -euo pipefail
rm -rf "$2"
cmake --install "$1" --prefix "$2" >/dev/null
"$2/bin/quorvane-cli" --version | grep '^quorvane-cli [0-9]'
warnings=$(groff -man -ww -Tutf8 "$2/share/man/man1/quorvane-cli.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "the manual page does not render cleanly: $warnings" >&2; exit 1; }
rm -rf "$2"
