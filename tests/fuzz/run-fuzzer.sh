#!/bin/sh
# Runs one fuzzer for a bounded time on a copy of its seed corpus, so new
# inputs it finds stay out of the source tree.
# Usage: run-fuzzer.sh FUZZER SEED_DIR SECONDS
set -eu
fuzzer=$1 seeds=$2 seconds=$3
work=$(mktemp -d /tmp/byteloom-fuzz-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp -r "$seeds"/. "$work/"
cd "$work"
exec "$fuzzer" -max_total_time="$seconds" -max_len=20000 -timeout=10 -rss_limit_mb=1024 \
  -print_final_stats=1 "$work"
