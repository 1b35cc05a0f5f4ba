#!/bin/sh
# Builds the dummy module with the dummy-module target against the kernel
# build directory the build chose (the running kernel's, else Debian's), checks
# that it is built for that kernel and carries the numdummies parameter, and
# stages its installation. Then builds it twice more from two other sources
# into one directory: each build must compile its own source, whatever the
# dates of the files.
# usage: module_test.sh BUILD_DIR MODULE_DIR BUILD_SCRIPT KERNEL_DIR KERNEL_SOURCE
. "$(dirname "$0")/../lib/testlib.sh"
build=$1 module_dir=$2 script=$3 kdir=$4 ksource=$5
command -v modinfo >/dev/null || skip "modinfo (kmod) is not installed"
reason=$(sh "$script" --check "$kdir" "$ksource" 2>&1) || skip "$reason (scripts/setup.sh installs them)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --build "$build" --target dummy-module > "$work/log" 2>&1 || {
    cat "$work/log" >&2
    fail "the dummy-module target failed"
    finish
}
release=$(cat "$module_dir/kernel.release")
check "kernel release of the build directory" \
    "$(sed -n 's/^#define UTS_RELEASE "\(.*\)"$/\1/p' "$kdir/include/generated/utsrelease.h")" "$release"
check "vermagic" "$release" "$(modinfo -F vermagic "$module_dir/dummy.ko" | cut -d' ' -f1)"
params=$(modinfo -p "$module_dir/dummy.ko")
case $params in
    *"numdummies:Number of dummy pseudo devices"*) ;;
    *) fail "modinfo -p shows: $params" ;;
esac

DESTDIR=$work/stage cmake --install "$build" --component kernel --prefix /usr > /dev/null ||
    fail "cmake --install --component kernel failed"
[ -f "$work/stage/usr/lib/modules/$release/updates/dummy.ko" ] || fail "dummy.ko not installed in updates/"
grep -q '^options dummy numdummies=[0-9]' "$work/stage/usr/lib/modprobe.d/zz-byteloom-dummy.conf" ||
    fail "modprobe.d file lacks numdummies"
echo "dummy.ko for $release from $kdir: $params"

# Two source trees whose dummy.c tell apart in the module's info; the second
# is older than the copy the first build keeps.
for tree in first second; do
    mkdir -p "$work/$tree/drivers/net"
    { cat "$module_dir/dummy.c"; echo "MODULE_INFO(origin, \"$tree\");"; } > "$work/$tree/drivers/net/dummy.c"
done
touch -d 2001-01-01 "$work/second/drivers/net/dummy.c"
for tree in first second; do
    sh "$script" "$kdir" "$work/$tree" "$work/out" "$(dirname "$script")/Kbuild" > "$work/log" 2>&1 ||
        { cat "$work/log" >&2; fail "building from the $tree tree failed"; }
    check "module built from the $tree tree" "$tree" "$(modinfo -F origin "$work/out/dummy.ko" 2>&1)"
done
finish
