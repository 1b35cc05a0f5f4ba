#!/bin/sh
# Usage: bench/daemon/soak.sh [BUILD_DIR] [MINUTES]   (as root; default 10 minutes)
# Runs byteloom against the real iptables in a network namespace of its own,
# with a steady, bounded UDP load on loopback, and reports whether resident
# memory and open descriptors stay flat, and how late after each monotonic
# second boundary the cycles start (p50, p99, max).
set -e
build=$(cd "${1:-build}" && pwd)
minutes=${2:-10}
[ "$(id -u)" -eq 0 ] || { echo "soak.sh: needs root (network namespace, iptables)" >&2; exit 1; }
if [ -z "$BYTELOOM_SOAK_INSIDE" ]; then
  BYTELOOM_SOAK_INSIDE=1 exec unshare --net sh "$0" "$build" "$minutes"
fi
seconds=$((minutes * 60))
port=5001 rate=2000 payload=400
tools=$build/bench/daemon
work=$(mktemp -d /tmp/byteloom-soak.XXXXXX)
daemon= load=
cleanup() {
  for pid in $daemon $load; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

. "$(dirname "$0")/../../tests/lib/daemonsetup.sh"
loopbackchains -p udp --dport $port
mkdir "$work/out"
loopbackdaemon "$build/daemon/byteloom" "$work" "$work/out"

"$tools/byteloom_loopload" $port $((seconds * rate)) $rate $payload >"$work/load.out" &
load=$!
LD_PRELOAD=$tools/libwakestamp.so WAKESTAMP_OUT=$work/wakes "$work/byteloom" >"$work/daemon.out" 2>&1 &
daemon=$!

# A cycle holds a pipe and a file open for a few milliseconds: the fewest
# descriptors of three looks is the count between cycles.
sample() {
  rss=$(awk '/^VmRSS/ {print $2}' /proc/$daemon/status)
  fds=$(for look in 1 2 3; do ls /proc/$daemon/fd | wc -l; sleep 0.3; done | sort -n | head -1)
  echo "$1 $rss $fds" >>"$work/samples"
}
echo "soak: $minutes minutes, $rate datagrams a second on loopback"
sleep 5
elapsed=5
while [ $elapsed -lt "$seconds" ]; do
  sample $elapsed
  sleep 10
  elapsed=$((elapsed + 10))
  kill -0 $daemon 2>/dev/null || { echo "soak: the daemon died"; cat "$work/daemon.out"; exit 1; }
done
sample $elapsed
kill -TERM $daemon
status=0
wait $daemon || status=$?
daemon=
[ $status -eq 0 ] || { echo "soak: the daemon ended with status $status"; exit 1; }

awk 'NR == 1 {r0 = $2; f0 = $3; rmax = $2; fmax = $3}
     {if ($2 > rmax) rmax = $2; if ($3 > fmax) fmax = $3; r = $2; f = $3}
     END {printf "resident memory: first %d kB, last %d kB, max %d kB (last/first %.2fx)\n", r0, r, rmax, r / r0
          printf "open descriptors: first %d, last %d, max %d\n", f0, f, fmax}' "$work/samples"
# The first wake-ups follow the start-up, not a sleep to a boundary.
tail -n +3 "$work/wakes" | sort -n | awk '{v[NR] = $1}
  END {printf "cycle start after the second boundary (%d cycles): p50 %d us, p99 %d us, max %d us\n",
       NR, v[int(NR * 0.5 + 0.5)], v[int(NR * 0.99 + 0.5)], v[NR]}'
echo "day totals: $(cat "$work/out/today")"
cat "$work/load.out"
