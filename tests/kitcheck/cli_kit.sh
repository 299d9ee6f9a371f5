#!/usr/bin/env bash
# Runs quorvane-cli on every vector of the container kit (tests/kit): each
# success container is restored byte for byte, with -o and with -d under its
# safe proposed name; each refused one is refused with one line on standard
# error and nothing written; each portable success vector is encrypted again
# into exactly its container.
#   cli_kit.sh PROGRAM            a native build
#   cli_kit.sh PROGRAM --wine     a Windows build, run under Wine
set -uo pipefail
cli=$1
wine=${2:-}
kit="$(cd "$(dirname "$0")/../kit" && pwd)"
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-cli-kit.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Paths as the program takes them: under Wine the Linux tree is drive Z:.
arg() { if [ -n "$wine" ]; then printf 'Z:%s' "${1//\//\\}"; else printf '%s' "$1"; fi; }
# Runs the program with its standard error kept in $err and its exit code in $rc.
run() {
    if [ -n "$wine" ]; then wine "$cli" "$@" </dev/null >/dev/null 2>"$work/stderr"; else "$cli" "$@" </dev/null >/dev/null 2>"$work/stderr"; fi
    rc=$?
    err=$(tr -d '\r' <"$work/stderr")
}

failures=0
fail() { echo "cli-kit: $id: $*"; failures=$((failures + 1)); }
count=0 successes=0 refusals=0 encrypted=0 skipped=0

for vec in "$kit"/*.vec; do
    id=$(basename "$vec" .vec)
    d="$work/$id"
    mkdir -p "$d/o" "$d/dir" "$d/src"
    # The vector's parts as files: key.txt (the key file: the key text and a
    # line end), container.bin, plain.bin, name.txt and safe.txt (UTF-8), and
    # flags.txt: expect, standard, portable, fits, exact.
    perl -e '
        my ($vec, $d) = @ARGV; my %v;
        open my $in, "<:raw", $vec or die "$vec: $!";
        while (<$in>) { chomp; $v{$1} = $2 if /^([a-z0-9-]+): ?(.*)$/; }
        sub put { open my $f, ">:raw", "$d/$_[0]" or die; print $f $_[1]; close $f; }
        sub units { my @u = unpack "v*", pack "H*", $_[0]; return @u; }
        sub lone { my @u = @_; for (my $i = 0; $i < @u; $i++) {
            if ($u[$i] >= 0xD800 && $u[$i] < 0xDC00) { return 1 unless $i + 1 < @u && $u[$i+1] >= 0xDC00 && $u[$i+1] < 0xE000; $i++; }
            elsif ($u[$i] >= 0xDC00 && $u[$i] < 0xE000) { return 1; } } return 0; }
        sub utf8 { my @u = @_; my $s = "";
            for (my $i = 0; $i < @u; $i++) { my $c = $u[$i];
                if ($c >= 0xD800 && $c < 0xDC00 && $i + 1 < @u) { $c = 0x10000 + (($c - 0xD800) << 10) + ($u[++$i] - 0xDC00); }
                $s .= chr $c; }
            utf8::encode($s); return $s; }
        my @key = units($v{key});
        die "$vec: key-text is not the key\n" unless utf8(@key) eq $v{"key-text"};
        put("key.txt", $v{"key-text"} . "\n");
        put("container.bin", pack "H*", $v{container});
        my @flags = ($v{expect}, $v{"record-kind"} eq "standard" ? 1 : 0, 0, 0, 0);
        if (defined $v{plain}) {
            my @name = units($v{"name-hex"}); my @safe = units($v{"safe-name-hex"} // "");
            put("plain.bin", pack "H*", $v{plain});
            my $n = utf8(@name);
            $flags[2] = (@name && @name <= 100 && !lone(@name) && $n !~ m{[\\/:*?"<>|\x00-\x1f]} && $n !~ /[. ]$/) ? 1 : 0;
            $flags[3] = (@safe && @safe <= 259) ? 1 : 0;
            $flags[4] = lone(@safe) ? 0 : 1;
            put("name.txt", $n); put("safe.txt", utf8(@safe));
        }
        put("flags.txt", join(" ", @flags));' "$vec" "$d" || { fail "unreadable vector"; continue; }
    read -r expect standard portable fits exact <"$d/flags.txt"
    count=$((count + 1))

    run decrypt -k "$(arg "$d/key.txt")" -o "$(arg "$d/o/restored.bin")" "$(arg "$d/container.bin")"
    if [ "$expect" = success ]; then
        successes=$((successes + 1))
        [ $rc -eq 0 ] && [ -z "$err" ] || fail "decrypt -o: exit $rc: $err"
        cmp -s "$d/plain.bin" "$d/o/restored.bin" || fail "decrypt -o: restored bytes differ"

        run decrypt -k "$(arg "$d/key.txt")" -d "$(arg "$d/dir")" "$(arg "$d/container.bin")"
        if [ -n "$wine" ] && [ "$exact" = 0 ]; then
            # A lone surrogate is a valid Windows name unit, but Wine must store
            # the name as UTF-8 on the Linux side, where it has no form.
            skipped=$((skipped + 1))
        elif [ "$fits" = 1 ]; then
            written=("$d/dir"/*)
            [ $rc -eq 0 ] && [ -z "$err" ] || fail "decrypt -d: exit $rc: $err"
            [ ${#written[@]} -eq 1 ] && [ -f "${written[0]}" ] || fail "decrypt -d: wrote ${#written[@]} entries"
            [ "$exact" = 0 ] || [ "${written[0]}" = "$d/dir/$(cat "$d/safe.txt")" ] ||
                fail "decrypt -d: wrote $(basename "${written[0]}") instead of $(cat "$d/safe.txt")"
            cmp -s "$d/plain.bin" "${written[0]}" || fail "decrypt -d: restored bytes differ"
        else
            expected="quorvane-cli: $(arg "$d/container.bin"): the container holds no usable file name; give one with -o"
            [ $rc -eq 1 ] && [ "$err" = "$expected" ] || fail "decrypt -d without a usable name: exit $rc: $err"
            [ -z "$(ls -A "$d/dir")" ] || fail "decrypt -d without a usable name wrote something"
        fi

        if [ "$standard" = 1 ] && [ "$portable" = 1 ]; then
            source="$d/src/$(cat "$d/name.txt")"
            cp "$d/plain.bin" "$source"
            run encrypt -k "$(arg "$d/key.txt")" -o "$(arg "$d/encrypted.dat")" "$(arg "$source")"
            [ $rc -eq 0 ] && [ -z "$err" ] || fail "encrypt: exit $rc: $err"
            cmp -s "$d/container.bin" "$d/encrypted.dat" || fail "encrypt: container differs"
            encrypted=$((encrypted + 1))
        fi
    else
        refusals=$((refusals + 1))
        expected="quorvane-cli: $(arg "$d/container.bin"): wrong key or damaged file"
        [ $rc -eq 1 ] && [ "$err" = "$expected" ] || fail "refusal: exit $rc: $err"
        [ -z "$(ls -A "$d/o")" ] || fail "refusal left $(ls -A "$d/o")"
    fi
    rm -rf "$d"
done

echo "cli-kit: $count vectors ($successes success, $refusals refused), $encrypted encrypted again," \
     "$skipped -d checks skipped under Wine, $failures failures"
[ $count -ge 100 ] || { echo "cli-kit: the kit at $kit is incomplete"; exit 1; }
[ $failures -eq 0 ]
