#!/bin/sh
# Runs byteloom for a few seconds against real packet-filter chains inside a
# private network namespace, with a little IPv4 and IPv6 loopback traffic, and
# shows its four files as they change. Needs root; the host's network is not
# touched.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
if [ "$(id -u)" -ne 0 ]; then
  echo "demo.sh: run as root (it creates a private network namespace)" >&2
  exit 1
fi
if [ -z "${BYTELOOM_DEMO_NAMESPACE:-}" ]; then
  BYTELOOM_DEMO_NAMESPACE=1 exec unshare -n "$0" "$build"
fi

work=$(mktemp -d /tmp/byteloom-demo-XXXXXX)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

. "$top/tests/lib/daemonsetup.sh"
loopbackchains iptables -p udp
loopbackchains ip6tables -p udp
loopbackdaemon "$build/daemon/byteloom" "$work"

show() {
  printf '%-26s %s\n' "$1" "$(cat "$work/$2" 2>/dev/null || echo '(not written yet)')"
}

# Bytes on the wire of COUNT datagrams of PAYLOAD bytes: the UDP header and
# the IPv4 (20) or IPv6 (40) header.
wirebytes() {
  echo $(($1 * ($2 + 8 + $3)))
}

echo "byteloom in $work, accounting IPv4 and IPv6 loopback traffic in a private namespace"
"$work/byteloom" 2>"$work/stderr" &
pid=$!
sent4=0 sent6=0
for second in 1 2 3 4 5 6; do
  "$build/tests/daemon/udpburst" $((second * 20)) 1200 >/dev/null
  "$build/tests/daemon/udpburst" $((second * 10)) 1200 6 >/dev/null
  sent4=$((sent4 + $(wirebytes $((second * 20)) 1200 20)))
  sent6=$((sent6 + $(wirebytes $((second * 10)) 1200 40)))
  sleep 1
  echo "--- second $second: sent so far IPv4 $sent4 + IPv6 $sent6 = $((sent4 + sent6)) bytes each way"
  show "rate (kB in, out):" rate
  show "today (label in out):" today
  show "persistent day file:" day
done
kill -TERM "$pid"
wait "$pid" || true
pid=
echo "--- after SIGTERM"
show "persistent day file:" day
show "history:" history
echo "--- what the daemon said on standard error"
cat "$work/stderr"
