#!/bin/sh
# The daemon against the real packet filter, in a private network namespace:
# a known number of UDP datagrams over loopback must show up as exact byte
# totals in the today and persistent day files.
# Usage: real_iptables_test.sh BYTELOOM UDPBURST [IPTABLES_BINARY]
set -eu
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: needs root to create a network namespace and packet-filter chains"
  exit 77
fi
if [ -z "${BYTELOOM_IN_NAMESPACE:-}" ]; then
  BYTELOOM_IN_NAMESPACE=1 exec unshare -n "$0" "$@"
fi
daemon=$1 burst=$2 backend=${3:-iptables}
command -v "$backend" >/dev/null || { echo "SKIPPED: $backend is not installed"; exit 77; }

work=$(mktemp -d /tmp/byteloom-real-XXXXXX)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/bin"
ln -s "$(command -v "$backend")" "$work/bin/iptables"
PATH="$work/bin:$PATH"
export TZ=UTC

. "$(dirname "$0")/../../scripts/loopback.sh"
loopbackchains -p udp

# 40 datagrams of 972 payload bytes: 1,000 bytes each with the IP and UDP headers.
"$burst" 40 972 >/dev/null

loopbackdaemon "$daemon" "$work"
before=$(date +%F)
"$work/byteloom" >"$work/stdout" &
pid=$!
tries=0
until [ -s "$work/today" ] && [ "$(cat "$work/today")" = "loopback 40000 40000 " ]; do
  tries=$((tries + 1))
  if [ $tries -gt 100 ]; then
    echo "FAIL: today file holds '$(cat "$work/today" 2>/dev/null)'"
    exit 1
  fi
  sleep 0.05
done
sleep 1.2  # more cycles: later samples must add nothing
kill -TERM "$pid"
wait "$pid" && status=0 || status=$?
pid=
after=$(date +%F)
today=$(cat "$work/today")
day=$(cat "$work/day")
[ "$status" -eq 0 ] || { echo "FAIL: exit status $status"; exit 1; }
[ "$today" = "loopback 40000 40000 " ] || { echo "FAIL: today file '$today'"; exit 1; }
case "$day" in
  "[$before] loopback 40000 40000 " | "[$after] loopback 40000 40000 ") ;;
  *) echo "FAIL: persistent day file '$day'"; exit 1 ;;
esac
echo "PASS ($backend): today '$today', persistent '$day'"
