#!/bin/sh
# Builds every Debian package of the project into OUTDIR (default
# build/packages) from the release build in BUILD (default build).
# Usage: scripts/build-packages.sh [OUTDIR [BUILD]]
set -e
cd "$(dirname "$0")/.."
out=${1:-build/packages}
build=${2:-build}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
mkdir -p "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out/cpack" >"$out/cpack.log" 2>&1 || {
  cat "$out/cpack.log" >&2
  exit 1
}
mv "$out"/cpack/*.deb "$out"/
rm -rf "$out/cpack"
ls "$out"/*.deb
