#!/bin/sh
# Sets up, builds and runs the whole test suite: the tests on a release build,
# again on a sanitizer build (memory errors and undefined behaviour fail
# them), then each parser under a coverage-guided fuzzer for a bounded time.
set -e
cd "$(dirname "$0")/.."
jobs=$(nproc)
scripts/setup.sh

cmake -S . -B build >/dev/null
cmake --build build -j"$jobs"
# The VM stage's guest image, built once per package list, is made while the
# release tests run; the stage below then finds it in its cache.
python3 tests/vm/stage.py image "$PWD" "$PWD/build" >build/vm-image-early.log 2>&1 &
image=$!
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 600 -LE vm || {
  wait "$image"
  exit 1
}
wait "$image" || true
# The packages on a booted Debian 12 guest, alone: the guest takes both cores.
ctest --test-dir build --output-on-failure -L vm

cmake -S . -B build-sanitize -DSANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-sanitize -j"$jobs"
# Packaging, the installed tree and the kernel module gain nothing from sanitizers.
# The IPv6 chains' removal waits a minute for the daemon's next look, which the
# other flood tests already run sanitized.
ctest --test-dir build-sanitize --output-on-failure -j"$jobs" --timeout 900 -E '^(dist|kernel|vm)[.]|^(exporter|tuntap|tcptune)[.]installed$|^fleet[.]agent_unit$|^daemon[.]flood_ipv6gone_'


CC=clang CXX=clang++ cmake -S . -B build-fuzz -DFUZZ=ON -DWITH_JNI=OFF \
  -DFUZZ_SECONDS="${FUZZ_SECONDS:-30}" >/dev/null
cmake --build build-fuzz -j"$jobs" --target fuzzers
ctest --test-dir build-fuzz -L fuzz --output-on-failure -j"$jobs"
