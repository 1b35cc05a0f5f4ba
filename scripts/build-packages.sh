#!/bin/sh
# Builds every Debian package of the project into OUTDIR (default
# build/packages) with dpkg-buildpackage and debhelper, from a copy of this
# tree made in BUILD/deb (BUILD defaults to build), so the tree itself stays
# clean. The installable packages land in OUTDIR, their debug symbols
# (-dbgsym) in OUTDIR/debug, the build log in OUTDIR/build.log.
# BYTELOOM_DEB_VERSION=1.1+1 builds under that version (for upgrade tests),
# with a changelog entry of its own.
# Usage: scripts/build-packages.sh [OUTDIR [BUILD]]
set -e
cd "$(dirname "$0")/.."
out=${1:-build/packages}
build=${2:-build}
mkdir -p "$out" "$build"
out=$(cd "$out" && pwd)
work=$(cd "$build" && pwd)/deb
src=$work/byteloom

rm -rf "$work"
mkdir -p "$src"
# The tree as it is, without build trees: git's files where it is a clone.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard |
        xargs -0 sh -c 'for f; do [ -e "$f" ] && printf "%s\0" "$f"; done' sh |
        tar -c --null -T - -f - | tar -x -C "$src"
else
    tar -c --exclude='./build*' --exclude=./.git -f - . | tar -x -C "$src"
fi

if [ -n "${BYTELOOM_DEB_VERSION:-}" ]; then
    {
        printf 'byteloom (%s) bookworm; urgency=medium\n\n' "$BYTELOOM_DEB_VERSION"
        printf '  * Rebuilt as %s.\n\n' "$BYTELOOM_DEB_VERSION"
        printf ' -- %s  %s\n\n' "$(sed -n 's/^Maintainer: //p' "$src/debian/control")" "$(date -R)"
        cat "$src/debian/changelog"
    } > "$src/debian/changelog.new"
    mv "$src/debian/changelog.new" "$src/debian/changelog"
fi

(cd "$src" && dpkg-buildpackage -b -uc -us -j"$(nproc)") > "$out/build.log" 2>&1 || {
    tail -n 60 "$out/build.log" >&2
    echo "build-packages: dpkg-buildpackage failed; the whole log is $out/build.log" >&2
    exit 1
}
rm -f "$out"/*.deb
rm -rf "$out/debug"
mkdir -p "$out/debug"
for deb in "$work"/*.deb; do
    case $deb in
        *-dbgsym_*) mv "$deb" "$out/debug/" ;;
        *) mv "$deb" "$out/" ;;
    esac
done
rm -rf "$work"
ls "$out"/*.deb
