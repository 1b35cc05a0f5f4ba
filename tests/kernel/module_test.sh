#!/bin/sh
# Builds and stages the dummy module where kernel headers and source are
# installed, and checks that it carries the numdummies parameter.
# usage: module_test.sh BUILD_DIR MODULE_DIR BUILD_SCRIPT KERNEL_DIR KERNEL_SOURCE
build=$1 module_dir=$2 script=$3 kdir=$4 ksource=$5
command -v modinfo >/dev/null || { echo "SKIP: modinfo (kmod) is not installed"; exit 77; }
reason=$(sh "$script" --check "$kdir" "$ksource" 2>&1) || { echo "SKIP: $reason"; exit 77; }

cmake --build "$build" --target dummy-module > "$module_dir.log" 2>&1 || {
    cat "$module_dir.log" >&2
    echo "FAIL: the dummy-module target failed" >&2
    exit 1
}
rm -f "$module_dir.log"
params=$(modinfo -p "$module_dir/dummy.ko")
case $params in
    *"numdummies:Number of dummy pseudo devices"*) ;;
    *) echo "FAIL: modinfo -p shows: $params" >&2; exit 1 ;;
esac

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --component kernel --prefix /usr > /dev/null || exit 1
release=$(cat "$module_dir/kernel.release")
[ -f "$stage/usr/lib/modules/$release/extra/dummy.ko" ] || { echo "FAIL: dummy.ko not installed" >&2; exit 1; }
grep -q '^options dummy numdummies=[0-9]' "$stage/usr/lib/modprobe.d/dummy.conf" ||
    { echo "FAIL: modprobe.d file lacks numdummies" >&2; exit 1; }
echo "dummy.ko for $release: $params"
