#!/usr/bin/env bash
# Mounts, for the fault tests of the Windows build under Wine, what the tests
# there can't make themselves: a 64 KiB tmpfs (small/) and a squashfs whose
# files can't be read past their first blocks (damaged/). Needs root; without
# it nothing is mounted and the tests skip, saying why.
#   fault-mounts.sh setup|cleanup FOLDER
set -uo pipefail
action=$1
dir=$2

cleanup() {
    for m in "$dir"/small "$dir"/damaged-*; do
        [ -d "$m" ] && mountpoint -q "$m" && umount -l "$m"
    done
    rm -rf "$dir"
}

# A read-only squashfs at damaged-NAME holding FILE, with 64 bytes spoiled
# halfway through its data blocks (between the 96-byte superblock and the
# inode table, whose offset is at byte 64). The content must compress:
# squashfs keeps incompressible blocks as they are, and damage there reads
# back silently instead of failing.
damaged() {
    local name=$1 file=$2 image="$dir/damaged-$1.img" source="$dir/source-$1"
    mkdir -p "$source" "$dir/damaged-$name"
    mv "$file" "$source/"
    mksquashfs "$source" "$image" -noappend -no-progress -quiet >/dev/null || return 1
    perl -e '
        open my $f, "+<:raw", $ARGV[0] or die; read $f, my $sb, 96;
        my ($lo, $hi) = unpack "V V", substr($sb, 64, 8); my $table = $lo + $hi * 2**32;
        my $at = 96 + int(($table - 96) / 2);
        seek $f, $at, 0; read $f, my $b, 64; seek $f, $at, 0; print $f ~$b;' "$image" || return 1
    mount -t squashfs -o loop,ro "$image" "$dir/damaged-$name" 2>/dev/null
}

if [ "$action" = cleanup ]; then
    cleanup
    exit 0
fi

cleanup
mkdir -p "$dir/small"
mount -t tmpfs -o size=64k tmpfs "$dir/small" 2>/dev/null || { echo "tmpfs: cannot mount (needs root)"; exit 0; }
touch "$dir/small.ready"

command -v mksquashfs >/dev/null || { echo "mksquashfs missing (squashfs-tools)"; exit 0; }
# A text file, and 2 MiB of whole 8-byte blocks taken for a container.
for i in $(seq 1 100000); do echo "line $i of a report"; done > "$dir/report.txt"
yes ABCDEFG | head -c $((2 * 1024 * 1024)) > "$dir/blocks.dat"
damaged text "$dir/report.txt" && damaged blocks "$dir/blocks.dat" || { echo "squashfs: cannot mount"; exit 0; }
touch "$dir/damaged.ready"
