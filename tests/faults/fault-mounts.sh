#!/usr/bin/env bash
# Makes around a test run the faults a test can't make itself. Without root none can be made: the file
# "unavailable" says so and the rows that need them skip; as root, a mount that fails fails the setup.
#   small/      a 64 KiB tmpfs, full long before any output of the tests is written
#   full/       a tmpfs without a free inode, holding out.bin
#   ro/         a read-only tmpfs holding out.bin
#   immutable/  out.bin with the immutable attribute: even root can't replace it
#   damaged-text/report.txt, damaged-blocks/blocks.dat  squashfs files whose middle can't be read
# Each is announced by a NAME.ready file beside it. Usage: fault-mounts.sh setup|cleanup FOLDER
set -uo pipefail
action=$1 dir=$2

cleanup() {
    chattr -i "$dir/immutable/out.bin" 2>/dev/null
    for m in "$dir"/small "$dir"/full "$dir"/ro "$dir"/damaged-*; do
        [ -d "$m" ] && mountpoint -q "$m" && umount -l "$m"
    done
    rm -rf "$dir"
}

# A read-only squashfs at damaged-NAME holding FILE, 64 bytes spoiled halfway between the 96-byte superblock
# and the inode table (its offset at byte 64). FILE must compress: raw blocks would read back silently.
damaged() {
    local name=$1 file=$2 image="$dir/damaged-$1.img" source="$dir/source-$1"
    mkdir -p "$source" "$dir/damaged-$name"
    mv "$file" "$source/"
    mksquashfs "$source" "$image" -noappend -no-progress -quiet >/dev/null || return 1
    local table at
    table=$(od -An -t u8 -j 64 -N 8 "$image" | tr -d ' ')
    at=$((96 + (table - 96) / 2))
    head -c 64 /dev/zero | tr '\0' '\377' | dd of="$image" bs=1 seek="$at" conv=notrunc status=none || return 1
    mount -t squashfs -o loop,ro "$image" "$dir/damaged-$name" && touch "$dir/damaged-$name.ready"
}

tmpfs() {
    mkdir -p "$dir/$1"
    mount -t tmpfs -o "$2" tmpfs "$dir/$1"
}

fail() {
    echo "fault-mounts: cannot make $1" >&2
    exit 1
}

cleanup
[ "$action" = cleanup ] && exit 0
mkdir -p "$dir"
if [ "$(id -u)" -ne 0 ]; then
    echo "the fault mounts need root" | tee "$dir/unavailable"
    exit 0
fi
tmpfs small size=64k && touch "$dir/small.ready" || fail small
# Two inodes: the root folder and out.bin.
tmpfs full size=64k,nr_inodes=2 && echo earlier >"$dir/full/out.bin" && touch "$dir/full.ready" || fail full
tmpfs ro size=64k && echo earlier >"$dir/ro/out.bin" && mount -o remount,ro "$dir/ro" && touch "$dir/ro.ready" || fail ro
mkdir -p "$dir/immutable" && echo earlier >"$dir/immutable/out.bin"
chattr +i "$dir/immutable/out.bin" 2>/dev/null && touch "$dir/immutable.ready" || fail immutable
# A text file, and 2 MiB of zeros enciphered block by block look alike: both compress.
for i in $(seq 1 100000); do echo "line $i of a report"; done >"$dir/report.txt"
yes ABCDEFG | head -c $((2 * 1024 * 1024)) >"$dir/blocks.dat"
damaged text "$dir/report.txt" || fail damaged-text
damaged blocks "$dir/blocks.dat" || fail damaged-blocks
exit 0
