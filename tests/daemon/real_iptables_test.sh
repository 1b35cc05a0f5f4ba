#!/bin/sh
# The daemon against the real packet filter, in a private network namespace:
# a known number of UDP datagrams over loopback must show up as exact byte
# totals in the today and persistent day files.
# With a service unit, the daemon runs as that unit confines it: only its
# capabilities, no new privileges, a read-only file system but for its own
# directory, only its own processes in /proc; every system call and socket
# family that the daemon and iptables use must then pass the unit's filters.
# Usage: real_iptables_test.sh BYTELOOM UDPBURST [IPTABLES_BINARY [UNIT_FILE]]
. "$(dirname "$0")/../lib/testlib.sh"
innetns "$@"
set -eu
daemon=$1 burst=$2 backend=${3:-iptables} unit=${4:-}
command -v "$backend" >/dev/null || skip "$backend is not installed"
if [ -n "$unit" ]; then
  for tool in setpriv strace systemd-analyze; do
    command -v $tool >/dev/null || skip "$tool is not installed"
  done
fi

work=$(mktemp -d /tmp/byteloom-real-XXXXXX)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/bin"
ln -s "$(command -v "$backend")" "$work/bin/iptables"
# The same backend's ip6tables, which the daemon looks for its chains with.
backend6=$(echo "$backend" | sed 's/iptables/ip6tables/')
if command -v "$backend6" >/dev/null; then ln -s "$(command -v "$backend6")" "$work/bin/ip6tables"; fi
PATH="$work/bin:$PATH"
export TZ=UTC

loopbackchains -p udp

# 40 datagrams of 972 payload bytes: 1,000 bytes each with the IP and UDP headers.
"$burst" 40 972 >/dev/null

loopbackdaemon "$daemon" "$work"

# directive NAME: the words of the unit's NAME= lines, one a line.
directive() {
  sed -n "s/^$1=//p" "$unit" | tr ' ' '\n' | grep .
}

# Runs the daemon as the unit would, traced, as the child of strace. The
# mounts stay in a private mount namespace.
confined() {
  caps=$(directive CapabilityBoundingSet | sed 's/^CAP_/+/' | tr 'A-Z' 'a-z' | paste -sd, -)
  exec unshare -m sh -c '
    mount --make-rprivate /
    mount -t proc -o subset=pid,hidepid=invisible proc /proc
    mount --bind "$1" "$1"
    mount -o remount,bind,ro /
    exec setpriv --no-new-privs --inh-caps=-all --bounding-set=-all,"$2" \
      strace -f -qq -o "$1/trace" "$1/byteloom"' confined "$work" "$caps"
}

# syscalls NAME...: system calls, with the groups among them resolved.
syscalls() {
  for name; do
    case $name in
      @*) syscalls $(systemd-analyze syscall-filter "$name" | sed '1d; /#/d') ;;
      *) echo "$name" ;;
    esac
  done
}

# Everything the traced processes called must be in the unit's allow list
# and outside its deny lists, every socket family in its list.
checkfilters() {
  filters=$(sed -n 's/^SystemCallFilter=//p' "$unit")
  syscalls $(echo "$filters" | grep -v '^~') | sort -u >"$work/allowed"
  syscalls $(echo "$filters" | sed -n 's/^~//p') | sort -u >"$work/denied"
  sed -n 's/^[0-9]* *\([a-z0-9_]*\)(.*/\1/p' "$work/trace" | sort -u >"$work/used"
  outside=$(comm -23 "$work/used" "$work/allowed" | paste -sd' ' -)
  [ -z "$outside" ] || { echo "FAIL: system calls outside SystemCallFilter: $outside"; exit 1; }
  denied=$(comm -12 "$work/used" "$work/denied" | paste -sd' ' -)
  [ -z "$denied" ] || { echo "FAIL: system calls that SystemCallFilter denies: $denied"; exit 1; }
  for family in $(sed -n 's/.* socket(\(AF_[A-Z0-9]*\),.*/\1/p' "$work/trace" | sort -u); do
    directive RestrictAddressFamilies | grep -qx "$family" ||
      { echo "FAIL: socket family $family is outside RestrictAddressFamilies"; exit 1; }
  done
  echo "system calls used: $(wc -l <"$work/used"), socket families:" \
    $(sed -n 's/.* socket(\(AF_[A-Z0-9]*\),.*/\1/p' "$work/trace" | sort -u)
}

before=$(date +%F)
if [ -n "$unit" ]; then
  confined >"$work/stdout" &
  waitfor=$!
  # strace opens its output before it starts the daemon, its only child.
  until [ -e "$work/trace" ] && pid=$(ps -o pid= --ppid "$waitfor"); do
    kill -0 "$waitfor" 2>/dev/null || { echo "FAIL: the confined daemon did not start"; exit 1; }
    sleep 0.05
  done
else
  "$work/byteloom" >"$work/stdout" &
  pid=$! waitfor=$!
fi
wait_for_file "$work/today" "loopback 40000 40000 " 5 ||
  { echo "FAIL: today file holds '$(cat "$work/today" 2>/dev/null)'"; exit 1; }
sleep 1.2  # more cycles: later samples must add nothing
kill -TERM "$pid"
wait "$waitfor" && status=0 || status=$?
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
if [ -n "$unit" ]; then
  checkfilters
fi
echo "PASS ($backend${unit:+, confined by $unit}): today '$today', persistent '$day'"
