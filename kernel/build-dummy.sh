#!/bin/sh
# Builds the kernel's own drivers/net/dummy.c as an out-of-tree module.
# The source is taken from that kernel's tree, or from Debian's linux-source
# tarball, at build time; it is never kept in this repository.
# usage: build-dummy.sh KERNEL_DIR KERNEL_SOURCE|"" OUT_DIR KBUILD_FILE
#        build-dummy.sh --check KERNEL_DIR KERNEL_SOURCE|""   (exit 0 if buildable)
set -e

die() {
    echo "build-dummy: $*" >&2
    exit 1
}

release() {
    sed -n 's/^#define UTS_RELEASE "\(.*\)"$/\1/p' "$1/include/generated/utsrelease.h" 2>/dev/null
}

# The version Debian names its source package by, e.g. 6.1 for 6.1.0-57-amd64.
majorminor() {
    echo "$1" | sed -n 's/^\([0-9]*\.[0-9]*\).*/\1/p'
}

# Prints where dummy.c comes from: a file, or a tarball.
findsource() {
    kdir=$1 given=$2
    if [ -n "$given" ]; then
        if [ -d "$given" ]; then echo "$given/drivers/net/dummy.c"; else echo "$given"; fi
        return
    fi
    for tree in "$kdir" "$kdir/source"; do
        [ -f "$tree/drivers/net/dummy.c" ] && { echo "$tree/drivers/net/dummy.c"; return; }
    done
    echo "/usr/src/linux-source-$(majorminor "$(release "$kdir")").tar.xz"
}

check() {
    [ -f "$1/Makefile" ] || die "no kernel build directory at $1 (install linux-headers-amd64 or linux-headers-$(uname -r), or pass -DKERNEL_DIR=...)"
    [ -n "$(release "$1")" ] || die "$1 is not a configured kernel build directory"
    source=$(findsource "$1" "$2")
    [ -f "$source" ] || die "no dummy.c source at $source (install linux-source-$(majorminor "$(release "$1")"), or pass -DKERNEL_SOURCE=...)"
}

if [ "$1" = --check ]; then
    check "$2" "$3"
    exit 0
fi

kdir=$1 given=$2 out=$3 kbuild=$4
check "$kdir" "$given"
mkdir -p "$out"
# Reading one file out of a source tarball takes a while, so the copy is kept
# for the next build from the same source (its path, size and date) for the
# same kernel release; any other build takes a fresh one.
key="$source $(stat -Lc '%s %Y' "$source") $(release "$kdir")"
if [ ! -f "$out/dummy.c" ] || [ "$(cat "$out/dummy.c.key" 2>/dev/null)" != "$key" ]; then
    rm -f "$out/dummy.c" "$out/dummy.c.key"
    case $source in
        *.c) cp "$source" "$out/dummy.c.part" ;;
        *) tar -xaf "$source" -O --wildcards '*/drivers/net/dummy.c' > "$out/dummy.c.part" ||
            die "cannot extract drivers/net/dummy.c from $source" ;;
    esac
    mv "$out/dummy.c.part" "$out/dummy.c"
    echo "$key" > "$out/dummy.c.key"
fi
cp "$kbuild" "$out/Kbuild"
make -C "$kdir" M="$out" modules
release "$kdir" > "$out/kernel.release"
