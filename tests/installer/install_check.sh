#!/usr/bin/env bash
# setup.exe in a fresh Wine prefix, silently, once for each row below: what it installs, the uninstall entry,
# the user's PATH, then the uninstaller (/S, as the entry says) and what it leaves. The first row also works
# the installed Quorvane.exe through the end-to-end driver.
#   scripts/wine-session tests/installer/install_check.sh SETUP.exe E2E-DRIVER.exe
# Ends with "installer: N passed, N failed"; where the installer cannot start (a host that runs 64-bit
# programs only), "skipped: installer: WHY".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
setup=$(realpath "$1") driver=$(realpath "$2")
version=$(basename "$setup" | sed -E 's/^quorvane-(.*)-setup\.exe$/\1/')
zip=$(dirname "$setup")/quorvane-$version-win32.zip
suite=$("$root/scripts/windows-suite")
# A shortcut must not reach the menus of the machine that runs the test.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane'
programs='C:\Program Files'
[ "$suite" = windows64 ] && programs='C:\Program Files (x86)'  # where Windows puts a 32-bit program
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quorvane.lnk"
files="Quorvane.exe README-en.txt README-ja.txt quorvane-cli.exe uninstall.exe"  # in byte order

passed=0 failed=0
expect() {  # WHAT GOT WANT
    if [ "$2" = "$3" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "installer: $1: got '$2', expected '$3'"; fi
}
unix() { wine winepath -u "$1" 2>/dev/null | tr -d '\r'; }
# A value as "TYPE DATA", or "none"; the installer is a 32-bit program, so its view of HKLM is the 32-bit one.
value() {  # KEY NAME
    local line
    line=$(wine reg query "$1" /v "$2" /reg:32 2>/dev/null | tr -d '\r' | grep -E "^ +$2 +REG_") || { echo none; return; }
    sed -E "s/^ +$2 +(REG_[A-Z_]+) +/\1 /; s/ +$//" <<<"$line"
}
user_path() { value 'HKCU\Environment' Path; }
set_user_path() {  # "TYPE DATA" or none
    wine reg delete 'HKCU\Environment' /v Path /f >/dev/null 2>&1
    [ "$1" = none ] || wine reg add 'HKCU\Environment' /v Path /t "${1%% *}" /d "${1#* }" /f >/dev/null 2>&1
}
# The uninstaller runs a copy of itself from the temporary folder and returns at once; the entry goes last.
wait_uninstalled() {
    for _ in $(seq 600); do
        [ "$(value "$key" DisplayName)" = none ] && return 0
        sleep 0.2
    done
    return 1
}

# ROW: name | switches | the user's Path before | the Path while installed (@ is the folder) | folder
run() {
    local name=$1 switches=$2 before=$3 during=$4 dir=$5 out rc udir f kb=0
    set_user_path "$before"
    expect "$name: the user's Path before" "$(user_path)" "$before"
    # shellcheck disable=SC2086  # the switches are words; /D= takes the rest of the line, spaces and all
    wine "$setup" $switches </dev/null >/dev/null 2>&1
    rc=$?
    expect "$name: setup.exe's exit code" "$rc" 0
    udir=$(unix "$dir")
    expect "$name: the installed files" "$(cd "$udir" 2>/dev/null && ls | LC_ALL=C sort | xargs)" "$files"
    for f in Quorvane.exe quorvane-cli.exe README-en.txt README-ja.txt; do
        unzip -p "$zip" "quorvane-$version-win32/$f" | cmp -s - "$udir/$f"
        expect "$name: $f is the zip's" "$?" 0
    done
    for f in $files; do kb=$((kb + $(stat -c %s "$udir/$f" 2>/dev/null || echo 0))); done
    expect "$name: a shortcut to the installed Quorvane.exe" \
        "$(strings -a "$shortcut" 2>/dev/null | grep -cxF "$dir\\Quorvane.exe")" 1
    expect "$name: quorvane-cli --version from the folder" \
        "$(cd "$udir" && wine "$dir\\quorvane-cli.exe" --version 2>&1 | tr -d '\r')" "quorvane-cli $version"
    while IFS='|' read -r value want; do
        expect "$name: uninstall entry $value" "$(value "$key" "$value")" "$want"
    done <<ROWS
DisplayName|REG_SZ Quorvane
DisplayVersion|REG_SZ $version
Publisher|REG_SZ Quorvane developers
DisplayIcon|REG_SZ $dir\\Quorvane.exe,0
InstallLocation|REG_SZ $dir
UninstallString|REG_SZ "$dir\\uninstall.exe"
QuietUninstallString|REG_SZ "$dir\\uninstall.exe" /S
EstimatedSize|REG_DWORD $(printf '0x%x' $((kb / 1024)))
NoModify|REG_DWORD 0x1
NoRepair|REG_DWORD 0x1
ROWS
    expect "$name: the user's Path while installed" "$(user_path)" "${during//@/$dir}"
    if [ "$name" = default ]; then
        # The installed program, not the build's: its window opens and closing it ends it with code 2.
        out=$(wine "$driver" main_window_and_about_box_show_whole_texts_centred_and_focused_ignore_arguments_and_end_with_code_2 \
            "$dir\\Quorvane.exe" 2>&1 | tr -d '\r')
        expect "$name: the installed Quorvane.exe, end to end" "$(tail -n 1 <<<"$out")" \
            "PASS main_window_and_about_box_show_whole_texts_centred_and_focused_ignore_arguments_and_end_with_code_2"
        echo mine >"$udir/mine.txt"
    fi

    local quiet
    quiet=$(value "$key" QuietUninstallString)
    quiet=${quiet#REG_SZ \"}
    wine "${quiet%\" /S}" /S </dev/null >/dev/null 2>&1
    wait_uninstalled
    expect "$name: the uninstall entry is gone" "$(value "$key" DisplayName)" none
    expect "$name: the shortcut is gone" "$([ -e "$shortcut" ] && echo there || echo gone)" gone
    if [ "$name" = default ]; then
        expect "$name: the user's own file stays, alone" "$(ls "$udir" 2>&1 | xargs)" mine.txt
        rm -rf "$udir"
    else
        expect "$name: the folder is gone" "$([ -e "$udir" ] && echo there || echo gone)" gone
    fi
    expect "$name: the user's Path after" "$(user_path)" "$before"
}

# Under wine64 a 32-bit program may not start at all, and wine then says so only on its error channel and
# still exits 0. The zip's quorvane-cli.exe, 32-bit like setup.exe, tells whether this one can.
if [ "$suite" = windows64 ]; then
    probe=$(mktemp -d)
    unzip -p "$zip" "quorvane-$version-win32/quorvane-cli.exe" >"$probe/probe.exe"
    out=$(WINEDEBUG=err+all wine "$probe/probe.exe" --version 2>&1 </dev/null | tr -d '\r')
    rm -rf "$probe"
    if ! grep -qx "quorvane-cli $version" <<<"$out"; then
        why=$({ grep -iE ':err:.*(fail|could not|cannot|bad exe)' <<<"$out" || grep -E ':err:' <<<"$out"; } | head -n 1 |
            sed -E 's/^[0-9a-f]+:err:[a-z_0-9]+://')
        echo "skipped: installer: setup.exe is a 32-bit program, and this host's wine64 starts none (${why:-no output}; $("$root/scripts/windows-suite" --reason))"
        echo "installer: 0 passed, 0 failed"
        exit 0
    fi
fi

while IFS='|' read -r name switches before during dir; do
    run "$name" "${switches//@/$dir}" "$before" "$during" "${dir:-$programs\\Quorvane}"
done <<'ROWS'
default|/S|none|none|
path_appended_to_the_users_own|/S /PATH /D=@|REG_SZ C:\tools;C:\other|REG_SZ C:\tools;C:\other;@|C:\Quorvane Tools\Quorvane
path_made_where_there_was_none|/S /PATH|none|REG_EXPAND_SZ @|
ROWS
echo "installer: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
