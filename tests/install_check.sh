#!/usr/bin/env bash
# cmake --install into a fresh prefix: the program runs from there, and its manual page renders without a warning
# and says what the parser does.
#   install_check.sh BUILD-FOLDER SCRATCH-PREFIX
set -euo pipefail
rm -rf "$2"
cmake --install "$1" --prefix "$2" >/dev/null
"$2/bin/quorvane-cli" --version | grep '^quorvane-cli [0-9]'
warnings=$(groff -man -ww -Tutf8 "$2/share/man/man1/quorvane-cli.1" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "the manual page does not render cleanly: $warnings" >&2; exit 1; }
# The -o entry's list of what encrypt and decrypt share agrees with the parser: decrypt refuses --name.
entry=$(groff -man -Tutf8 -P-cbou -rLL=300n "$2/share/man/man1/quorvane-cli.1" | sed -n '/^ *-o, --output/,/^ *--name /p')
refused=$("$2/bin/quorvane-cli" decrypt --name n -k /dev/null x.dat 2>&1 || true)
grep -q -- '--name is for encrypting standard input' <<<"$refused"
grep -q -- '--name is for encrypting standard input' <<<"$entry" ||
    { echo "the manual's -o entry offers --name to decrypt: $entry" >&2; exit 1; }
rm -rf "$2"
