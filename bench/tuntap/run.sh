#!/bin/sh
# Usage: bench/tuntap/run.sh [BUILD_DIR] [COUNT]   (as root)
# Writes and empty non-blocking reads on a TUN device in a network namespace
# of its own: a C loop, libtuntap through JNI and libc through JNA, measured
# in one run (two rounds each, the better one kept), printed as ratios to C.
set -e
build=$(cd "${1:-build}" && pwd)
count=${2:-500000}
here=$(cd "$(dirname "$0")" && pwd)
[ "$(id -u)" -eq 0 ] || { echo "run.sh: needs root (TUN device, network namespace)" >&2; exit 1; }
if [ -z "$TUNTAP_BENCH_INSIDE" ]; then
  TUNTAP_BENCH_INSIDE=1 exec unshare --net sh "$0" "$build" "$count"
fi
dev=tunbench0
ip tuntap add dev $dev mode tun
# No IPv6 chatter: the reads must find the queue empty.
[ ! -e /proc/sys/net/ipv6/conf/$dev ] || echo 1 >/proc/sys/net/ipv6/conf/$dev/disable_ipv6
ip addr add 192.0.2.1/24 dev $dev
ip link set $dev up
bin=$build/bench/tuntap
out=$(mktemp)
for round in 1 2; do
  "$bin/tuntap_bench" $dev "$count" >>"$out"
  java -Djava.library.path="$build/jni/tuntap" \
       -Djna.boot.library.path=/usr/lib/$(gcc -print-multiarch)/jni \
       -cp "$bin/classes:/usr/share/java/jna.jar" TuntapBench $dev "$count" >>"$out"
done
ip link del $dev
awk '{ k = $1 " " $2; if ($3 > best[k]) best[k] = $3 }
  END {
    printf "%-12s %14s %14s %14s\n", "", "C loop", "JNI tuntap", "JNA"
    split("write_pps read_pps", ops, " ")
    for (i = 1; i <= 2; i++) {
      o = ops[i]; c = best["c " o]
      printf "%-12s %14.0f %14.0f %14.0f\n", o, c, best["jni " o], best["jna " o]
      printf "%-12s %14s %14.2fx %13.2fx\n", "  ratio", "1.00x", best["jni " o] / c, best["jna " o] / c
    }
  }' "$out"
rm -f "$out"
