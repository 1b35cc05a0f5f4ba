#!/bin/sh
# Builds the guest image of the VM tests from Debian 12's packages: a root
# file system holding systemd, Debian's kernel and the packages in PKGFILE
# (one name a line), with no package sources left, so every install in the
# guest is offline. OUTDIR receives disk.raw (ext4, the whole disk),
# vmlinuz, initrd.img, kernel.release and packages; it appears only once all
# of them are complete.
# usage: build-image.sh PKGFILE OUTDIR
set -e
pkgfile=$1 out=$2
here=$(cd "$(dirname "$0")" && pwd)
mirror=${BYTELOOM_VM_MIRROR:-http://deb.debian.org/debian}
security=${BYTELOOM_VM_SECURITY_MIRROR:-http://deb.debian.org/debian-security}

for tool in mmdebstrap mkfs.ext4 qemu-img; do
    command -v "$tool" >/dev/null || { echo "build-image: $tool is not installed" >&2; exit 1; }
done
work=$out.tmp.$$
trap 'rm -rf "$work"' EXIT
rm -rf "$work"
mkdir -p "$work"
root=$work/root

# The list is comma separated for mmdebstrap; apt resolves each name's
# dependencies from the same suites.
include=$(grep -v '^[[:space:]]*$' "$pkgfile" | paste -sd, -)
mmdebstrap --mode=root --variant=required --format=directory \
    --aptopt='APT::Install-Recommends "false"' \
    --include="$include" \
    --customize-hook="sh '$here/customize-image.sh' \"\$1\" '$here/guest'" \
    bookworm "$root" \
    "deb $mirror bookworm main" \
    "deb $mirror bookworm-updates main" \
    "deb $security bookworm-security main" > "$work/mmdebstrap.log" 2>&1 || {
    tail -n 40 "$work/mmdebstrap.log" >&2
    echo "build-image: mmdebstrap failed (log above)" >&2
    exit 1
}

release=$(ls "$root/lib/modules" | sort -V | tail -n 1)
[ -n "$release" ] && [ -f "$root/boot/vmlinuz-$release" ] || {
    echo "build-image: no kernel in the image" >&2
    exit 1
}
cp "$root/boot/vmlinuz-$release" "$work/vmlinuz"
cp "$root/boot/initrd.img-$release" "$work/initrd.img"
echo "$release" > "$work/kernel.release"
cp "$pkgfile" "$work/packages"
chroot "$root" dpkg-query -W > "$work/installed"
# Room for the packages, a module build and the tests' files; the file is sparse.
mkfs.ext4 -q -L root -E root_owner=0:0 -d "$root" "$work/disk.raw" 6G >/dev/null
rm -rf "$root"
rm -rf "$out"
mv "$work" "$out"
trap - EXIT
