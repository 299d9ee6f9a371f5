#!/usr/bin/env bash
# The Debian package unpacked into a scratch root (dpkg -x): the program runs from there, its manual page
# renders without a warning, and its bash completion offers what each place on the line takes.
#   package_check.sh PACKAGE.deb      ends with "package: N passed, N failed"
set -uo pipefail
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$1" "$root/fs" || exit 1
passed=0 failed=0
expect() {  # WHAT GOT WANT
    if [ "$2" = "$3" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "package: $1: got '$2', expected '$3'"; fi
}

expect "the program runs from the package" "$("$root/fs/usr/bin/quorvane-cli" --version | cut -d' ' -f1)" quorvane-cli
expect "the manual page renders cleanly" "$(zcat "$root/fs/usr/share/man/man1/quorvane-cli.1.gz" | groff -man -ww -Tutf8 2>&1 >/dev/null)" ""

# Completion, in a folder holding a container, a text and a folder: the line so far, then the offers.
mkdir -p "$root/here/sub" && touch "$root/here/a.dat" "$root/here/b.txt" && cd "$root/here" || exit 1
. "$root/fs/usr/share/bash-completion/completions/quorvane-cli"
while IFS='|' read -r line want; do
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMPREPLY=()
    _quorvane_cli
    expect "completion of '$line'" "$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | xargs)" "$want"
done <<'ROWS'
quorvane-cli |--help --version check decrypt encrypt list
quorvane-cli decrypt |a.dat sub
quorvane-cli decrypt b|b.txt
quorvane-cli encrypt |a.dat b.txt sub
quorvane-cli encrypt -k key -d |sub
quorvane-cli decrypt --|-- --directory --force --key-file --output
quorvane-cli encrypt --n|--name
quorvane-cli encrypt --name |
quorvane-cli check |a.dat sub
quorvane-cli list -k key |a.dat sub
quorvane-cli check --|-- --keep-going --key-file
quorvane-cli list -|-- --key-file -0 -k
ROWS
echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
