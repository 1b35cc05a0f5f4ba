#!/bin/sh
# Usage: check-exports.sh library expected-list
# Fails unless the library's defined dynamic symbols are exactly the list,
# and unless it was linked for immediate binding (its GOT then read-only).
set -e
if ! readelf -d "$1" | grep -q BIND_NOW; then
  echo "$1: not linked with -z now"
  exit 1
fi
# AddressSanitizer adds an __odr_asan.<name> marker beside each exported
# variable (a SANITIZE build); those are its, not the library's.
actual=$(nm -D --defined-only "$1" | awk '$3 !~ /^__odr_asan\./ {print $3}' | sort)
expected=$(sort "$2")
[ "$actual" = "$expected" ] && exit 0
echo "exported symbols differ from $2:"
printf '%s\n' "$actual" | diff -u "$2" - || true
exit 1
