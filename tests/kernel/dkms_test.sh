#!/bin/sh
# The dummy module's DKMS package, as DKMS uses it: DKMS builds the packaged
# source for the kernel whose headers the build chose (Debian's, where the
# running kernel has none) and installs it into updates/, where modprobe picks
# it over a dummy.ko in the kernel's own tree; and the packaged modprobe.d
# file, beside this machine's own files (systemd's "numdummies=0" among
# them), decides how many interfaces the module makes. DKMS runs in a private
# mount namespace on trees of its own, so /var/lib/dkms, /lib/modules and
# /lib/modprobe.d of this machine stay as they are.
# usage: dkms_test.sh PACKAGES_DIR KERNEL_DIR
. "$(dirname "$0")/../lib/testlib.sh"
packages=$1 kdir=$2

if [ "${3:-}" = --inside ]; then
    work=$4 release=$5
    set -e
    # DKMS keeps its signing key and state in /var/lib/dkms.
    mount -t tmpfs tmpfs /var/lib/dkms
    dkms="-m byteloom-dummy -v $version -k $release --sourcetree $work/root/usr/src --dkmstree $work/dkms"
    mkdir -p "$work/root/lib/modules/$release"
    # shellcheck disable=SC2086
    {
        dkms add $dkms
        dkms build $dkms --kernelsourcedir "$kdir"
        dkms install $dkms --installtree "$work/root/lib/modules" --no-depmod
    } > "$work/dkms.log" 2>&1
    # The kernel's own copy where Debian's kernel package puts it.
    mkdir -p "$work/root/lib/modules/$release/kernel/drivers/net"
    cp "$work/root/lib/modules/$release/updates/dkms/dummy.ko" \
        "$work/root/lib/modules/$release/kernel/drivers/net/dummy.ko"
    depmod -b "$work/root" "$release" 2> /dev/null
    # The machine's modprobe.d files and the package's, in one directory.
    cp -a /usr/lib/modprobe.d/. "$work/modprobe.d/"
    mount -t tmpfs tmpfs /usr/lib/modprobe.d
    cp -a "$work/modprobe.d/." "$work/root/lib/modprobe.d/." /usr/lib/modprobe.d/
    modprobe -d "$work/root" -S "$release" --show-depends dummy
    exit 0
fi

[ "$(id -u)" -eq 0 ] || skip "needs root (a private mount namespace for DKMS)"
command -v dkms > /dev/null || skip "dkms is not installed (scripts/setup.sh installs it)"
command -v modinfo > /dev/null || skip "modinfo (kmod) is not installed"
[ -d /var/lib/dkms ] || skip "no /var/lib/dkms"
release=$(sed -n 's/^#define UTS_RELEASE "\(.*\)"$/\1/p' "$kdir/include/generated/utsrelease.h" 2>/dev/null)
[ -n "$release" ] || skip "no configured kernel headers at $kdir (scripts/setup.sh installs linux-headers-amd64)"
deb=$(ls "$packages"/byteloom-dummy-dkms_*_all.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { fail "no byteloom-dummy-dkms_*_all.deb in $packages"; finish; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/dkms" "$work/modprobe.d"
dpkg-deb -x "$deb" "$work/root"
export version
version=$(dpkg-deb -f "$deb" Version)
source=$work/root/usr/src/byteloom-dummy-$version
for file in dkms.conf Kbuild dummy.c; do
    [ -s "$source/$file" ] || fail "the package lacks usr/src/byteloom-dummy-$version/$file"
done

insmod=$(unshare -m sh "$0" "$packages" "$kdir" --inside "$work" "$release")
status=$?
if [ $status -ne 0 ]; then
    cat "$work/dkms.log" >&2
    fail "DKMS could not build and install the module for $release (status $status)"
    finish
fi

module=$work/root/lib/modules/$release/updates/dkms/dummy.ko
check "vermagic of the DKMS module" "$release" "$(modinfo -F vermagic "$module" | cut -d' ' -f1)"
# DKMS refuses to install over a kernel's module of the same version (the
# kernel's own dummy.ko has none), so the packaged source carries one.
check "version of the DKMS module" "$version-byteloom" "$(modinfo -F version "$module")"
case $(modinfo -p "$module") in
    *"numdummies:Number of dummy pseudo devices"*) ;;
    *) fail "the DKMS module has no numdummies parameter" ;;
esac

# modprobe's choice: the first insmod line names the file it loads, then the
# options in the order of the files; the kernel keeps the last value.
loads=$(printf '%s\n' "$insmod" | sed -n 's/^insmod \([^ ]*\).*/\1/p' | head -n 1)
check "the file modprobe loads" "$module" "$loads"
shipped=$(sed -n 's/^options dummy numdummies=\([0-9]*\)$/\1/p' "$work/root/lib/modprobe.d/"*.conf)
[ -n "$shipped" ] || fail "the packaged modprobe.d file sets no numdummies"
last=$(printf '%s\n' "$insmod" | tr ' ' '\n' | sed -n 's/^numdummies=//p' | tail -n 1)
check "numdummies the module gets" "$shipped" "$last"
grep -qs '^options dummy numdummies=0' /usr/lib/modprobe.d/systemd.conf ||
    echo "note: this machine has no systemd.conf setting numdummies=0 to win over"
echo "modprobe: $insmod"
finish
