#!/bin/sh
# Sets up, builds and runs the whole test suite: the tests on a release build,
# the packages on a booted Debian 12 guest, the tests again on a sanitizer
# build (memory errors and undefined behaviour fail them), then each parser
# under a coverage-guided fuzzer for a bounded time. Each stage's time is
# printed at its end.
set -e
cd "$(dirname "$0")/.."
jobs=$(nproc)
started=$(date +%s)
stage() {
  echo "=== $1: $(( $(date +%s) - started )) s since the start"
}
scripts/setup.sh
stage "setup"

# The Debian packages are built once, with the README's command, for the
# package tests and the VM stage alike, while the release build runs; the
# guest image, made once per package list from what they depend on, follows
# in the background while the release tests run.
packages=$PWD/build/packages-built
rm -rf "$packages"
mkdir -p build
sh scripts/build-packages.sh "$packages" build >build/packages-built.log 2>&1 &
built=$!
cmake -S . -B build >/dev/null
cmake --build build -j"$jobs"
stage "release build"
if wait "$built"; then
  export BYTELOOM_PACKAGES="$packages"
else
  echo "scripts/build-packages.sh failed; the tests that need packages build their own:"
  tail -n 20 build/packages-built.log
fi
stage "packages"
python3 tests/vm/stage.py image "$PWD" "$PWD/build" >build/vm-image-early.log 2>&1 &
image=$!
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 600 -LE vm || {
  wait "$image" || true
  exit 1
}
stage "release tests"
wait "$image" || { echo "the packages or the guest image failed:"; tail -n 40 build/vm-image-early.log; }
stage "guest image"
# The packages on a booted Debian 12 guest, alone: the guest takes both cores.
ctest --test-dir build --output-on-failure -L vm
stage "VM stage"

# Only what sanitizers can find faults in: the C and C++ of the products and
# their tests, without the benchmarks. Packaging, the installed tree and the
# kernel module gain nothing from them. The IPv6 chains' removal waits a
# minute for the daemon's next look, which the other flood tests already run
# sanitized.
cmake -S . -B build-sanitize -DSANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWITH_BENCH=OFF \
  >/dev/null
cmake --build build-sanitize -j"$jobs"
stage "sanitizer build"
ctest --test-dir build-sanitize --output-on-failure -j"$jobs" --timeout 900 -E '^(dist|kernel|vm)[.]|^(exporter|tuntap|tcptune)[.]installed$|^fleet[.]agent_unit$|^daemon[.]flood_ipv6gone_'
stage "sanitizer tests"

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DFUZZ=ON -DWITH_JNI=OFF -DWITH_BENCH=OFF \
  -DFUZZ_SECONDS="${FUZZ_SECONDS:-30}" >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzzers
ctest --test-dir build-fuzz -L fuzz --output-on-failure -j"$jobs"
stage "fuzzers"
