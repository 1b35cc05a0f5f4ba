#!/bin/sh
# Many power cuts of the guest that the VM tests boot: each round sets the
# guest's clock seconds before midnight or a minute's end, sends steady
# traffic through the installed service and kills QEMU at a random moment,
# then checks the file system, the history and the day file after the next
# boot. Ends with one line:
#   powercuts: N rounds, F failed checks, at most B bytes of a running day lost ...
# Needs root, QEMU and the cached image (built on first use, a few minutes).
# usage: sh bench/vm/powercuts.sh BUILD_DIR [ROUNDS [SEED]]
set -e
source=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: powercuts.sh BUILD_DIR [ROUNDS [SEED]]}" && pwd)
export BYTELOOM_VM_CUTS=${2:-20}
[ -z "${3:-}" ] || export BYTELOOM_VM_SEED=$3
stage="python3 $source/tests/vm/stage.py"
status=0
$stage image "$source" "$build" || status=$?
if [ "$status" -ne 0 ]; then
    [ "$status" -eq 77 ] && echo "powercuts: skipped" && exit 0
    exit "$status"
fi
$stage deploy "$source" "$build"
$stage powercut "$source" "$build" || status=$?
$stage halt "$source" "$build" || status=$?
exit "$status"
