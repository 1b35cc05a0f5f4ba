#!/bin/sh
# The daemon counts UDP floods over a veth pair between this test's network
# namespace and a second one it makes, in both directions and both families,
# with the chains set up by the real byteloom-chains and the start-up script
# from dist/. The persisted totals must equal, to the byte, what the kernel's
# own counters saw on the link: rules in the raw table that count every
# packet in and out of the veth, and the interface's bytes less 14 per frame.
# Cases:
#   flood     a steady flood
#   chainsup  byteloom-chains up changes the rules around the counted one,
#             over and over, mid-flood
#   kill9     the daemon is killed with SIGKILL after it saved the day, and
#             started again, mid-flood: nothing counted twice; on nf_tables
#             nothing lost, on legacy no more than it had not saved yet
#   noipv6    IPV6=no: IPv4 exact, IPv6 uncounted, no zeroing ip6tables run
#   ipv6gone  the IPv6 chains are deleted while the daemon runs (IPv4 stays
#             exact, the daemon says why), then set up again (counted again)
# Usage: flood_test.sh BYTELOOM UDPFLOOD nft|legacy CASE DISTDIR FAKETIME_LIBRARY
. "$(dirname "$0")/../lib/testlib.sh"
daemon=$1 flood=$2 backend=$3 case=$4 dist=$5 faketime=$6
for program in iptables-$backend ip6tables-$backend iptables-$backend-restore \
    ip6tables-$backend-restore nsenter; do
  command -v "$program" >/dev/null || skip "$program is not installed"
done
[ -e /proc/sys/net/ipv6 ] || skip "the kernel has no IPv6"
innetns "$@"
set -eu

rate=1500 payload4=972 payload6=1000 port=9
work=$(mktemp -d /tmp/byteloom-flood-XXXXXX)
pid='' peer=''
cleanup() {
  [ -z "$pid" ] || kill -9 "$pid" 2>/dev/null || true
  [ -z "$peer" ] || kill "$peer" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The daemon's iptables and ip6tables are the backend's; ip6tables leaves a
# line per call, to show whether a zeroing listing ran.
mkdir "$work/bin" "$work/files"
for family in iptables ip6tables; do
  for suffix in '' -restore; do ln -s "$(command -v $family-$backend$suffix)" "$work/bin/$family$suffix"; done
done
rm "$work/bin/ip6tables"
cat >"$work/bin/ip6tables" <<EOF
#!/bin/sh
echo "\$*" >>"$work/ip6tables.log"
exec $(command -v ip6tables-$backend) "\$@"
EOF
chmod +x "$work/bin/ip6tables"
PATH="$work/bin:$PATH"
export TZ=UTC BYTELOOM_CONF="$work/byteloom.conf"
cp "$daemon" "$work/byteloom"
cp "$dist/getbyteloomheaders.sh" "$work/getbyteloomheaders.sh"
cp "$dist/getbyteloomheaders.sh" "$dist/byteloom-chains" "$work/bin/"

# config FILE LINES...: a configuration with the four files in the work directory.
config() {
  file=$1
  shift
  { printf '%s\n' "$@"
    echo "RATE_FILE=$work/files/rate"
    echo "TODAY_FILE=$work/files/today"
    echo "DAY_FILE=$work/files/day"
    echo "HISTORY_FILE=$work/files/history"; } >"$file.conf"
}
chains() { BYTELOOM_CONF="$work/$1.conf" byteloom-chains --iptables iptables "$2"; }

# The peer namespace, held by a process of its own.
unshare -n sleep 3600 &
peer=$!
until [ "$(readlink /proc/$peer/ns/net)" != "$(readlink /proc/self/ns/net)" ]; do sleep 0.02; done
inpeer() { nsenter -t "$peer" -n "$@"; }

# Quiet links: no duplicate address detection, router solicitations or ARP,
# so every frame on the veth is an IPv4 or IPv6 packet that the chains see.
quiet() {
  "$@" sh -c 'for key in accept_dad router_solicitations accept_ra; do
    for dev in all default; do echo 0 >/proc/sys/net/ipv6/conf/$dev/$key; done; done'
}
quiet env
quiet inpeer
ip link add veth0 type veth peer name veth1
ip link set veth1 netns "$peer"
ip addr add 192.0.2.1/24 dev veth0
ip addr add 2001:db8::1/64 dev veth0 nodad
inpeer ip addr add 192.0.2.2/24 dev veth1
inpeer ip addr add 2001:db8::2/64 dev veth1 nodad
macof() { ip -o link show "$1" | sed 's|.* link/ether \([^ ]*\).*|\1|'; }
mac0=$(macof veth0)
mac1=$(inpeer sh -c "$(command -v ip) -o link show veth1" | sed 's|.* link/ether \([^ ]*\).*|\1|')
ip neigh add 192.0.2.2 lladdr "$mac1" dev veth0 nud permanent
ip neigh add 2001:db8::2 lladdr "$mac1" dev veth0 nud permanent
inpeer ip neigh add 192.0.2.1 lladdr "$mac0" dev veth1 nud permanent
inpeer ip neigh add 2001:db8::1 lladdr "$mac0" dev veth1 nud permanent

# The kernel's own counters: every packet in and out of veth0, per family.
for family in iptables ip6tables; do
  $family -t raw -A PREROUTING -i veth0
  $family -t raw -A OUTPUT -o veth0
done
# rawbytes FAMILY CHAIN: what the reference rule has counted.
rawbytes() { $1 -t raw -xvnL "$2" | awk 'NR > 2 { n += $2 } END { print n + 0 }'; }

ipv6setting=yes
[ "$case" != noipv6 ] || ipv6setting=no
config "$work/byteloom" 'veth0 lan' 'dummy9 other' "IPV6=$ipv6setting"
config "$work/spare" 'dummy7 x' 'veth0 lan' 'dummy9 other' 'dummy8 spare' "IPV6=$ipv6setting"
chains byteloom up
ip link set veth0 up
inpeer ip link set veth1 up

# floods SECONDS [4] [6]: both directions of the given families, in the
# background; waitfloods waits for them to end.
floodpids=''
floods() {
  seconds=$1
  shift
  for family in "$@"; do
    if [ "$family" = 4 ]; then a=192.0.2.2 b=192.0.2.1 size=$payload4; else a=2001:db8::2 b=2001:db8::1 size=$payload6; fi
    "$flood" $a $port $rate "$seconds" $size >/dev/null &
    floodpids="$floodpids $!"
    inpeer "$flood" $b $port $rate "$seconds" $size >/dev/null &
    floodpids="$floodpids $!"
  done
}
waitfloods() {
  for job in $floodpids; do wait "$job" || fail "a flood failed"; done
  floodpids=''
}

# start [FAKE_START_TIME]: starts the daemon, on a fake wall clock if given.
start() {
  if [ -n "${1:-}" ]; then
    # A sanitized daemon runs with libfaketime preloaded ahead of its runtime.
    ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=$faketime FAKETIME="@$1" FAKETIME_DONT_FAKE_MONOTONIC=1 \
      "$work/byteloom" >>"$work/stdout" 2>>"$work/stderr" &
  else
    "$work/byteloom" >>"$work/stdout" 2>>"$work/stderr" &
  fi
  pid=$!
  wait_for_file "$work/files/today" "" 5 || { echo "FAIL: no today file"; cat "$work/stderr"; exit 1; }
}

stop() {
  kill -TERM "$pid"
  status=0
  wait "$pid" || status=$?
  pid=''
  [ "$status" -eq 0 ] || { echo "FAIL: exit status $status"; cat "$work/stdout" "$work/stderr"; exit 1; }
}

# sumday FILE: "in out" summed over the labels of a day file line.
sumday() { awk '{ for (i = 2; i + 2 <= NF; i += 3) { a += $(i + 1); b += $(i + 2) } } END { print a + 0, b + 0 }' "$1"; }

# expect NAME IN OUT: the persisted totals against IN and OUT.
expect() {
  got=$(sumday "$work/files/day")
  check "$1 (in out)" "$2 $3" "$got"
}

# The interface's own figures (/proc/net is this namespace's): bytes less 14
# per Ethernet header.
linkbytes() {
  awk -F'[: ]+' '$2 == "veth0" { print $3 - 14 * $4, $11 - 14 * $12 }' /proc/net/dev
}

case $case in
  flood)
    start
    floods 4 4 6
    ;;
  chainsup)
    start
    floods 5 4 6
    for round in 1 2 3 4 5 6; do
      chains spare up
      sleep 0.3
      chains byteloom up
      sleep 0.3
    done
    ;;
  kill9)
    # The fake clock crosses a minute 2 s after the start, so the day (and
    # with it the readings) is saved before the kill.
    start "2026-03-07 12:00:58"
    floods 8 4 6
    wait_for_file "$work/files/day" "" 6 || { echo "FAIL: the day was not saved"; exit 1; }
    sleep 1.3
    saved=$(sumday "$work/files/day")
    counted=$(awk '{ for (i = 1; i + 2 <= NF; i += 3) { a += $(i + 1); b += $(i + 2) } } END { print a + 0, b + 0 }' "$work/files/today")
    kill -9 "$pid"
    wait "$pid" 2>/dev/null || true
    pid=''
    sleep 1
    start "2026-03-07 12:01:20"
    ;;
  noipv6)
    start
    floods 4 4 6
    ;;
  ipv6gone)
    start
    grep -q "counting IPv6 too" "$work/stderr" || fail "the daemon did not find the IPv6 chains"
    floods 2 4 6
    waitfloods
    sleep 1.5
    before6in=$(rawbytes ip6tables PREROUTING) before6out=$(rawbytes ip6tables OUTPUT)
    for hook in PREROUTING:RTCHARTS_IN POSTROUTING:RTCHARTS_OUT; do
      ip6tables -t mangle -D "${hook%%:*}" -j "${hook#*:}"
      ip6tables -t mangle -F "${hook#*:}"
      ip6tables -t mangle -X "${hook#*:}"
    done
    floods 2 4 6
    waitfloods
    sleep 1.5
    kill -0 "$pid" || { echo "FAIL: the daemon stopped without the IPv6 chains"; exit 1; }
    grep -q "stopped counting IPv6" "$work/stderr" || fail "the daemon did not say that IPv6 is no longer counted"
    gone6in=$(rawbytes ip6tables PREROUTING) gone6out=$(rawbytes ip6tables OUTPUT)
    chains byteloom up
    # The daemon looks for them once a minute.
    tries=0
    until grep -q "found both chains" "$work/stderr"; do
      tries=$((tries + 1))
      [ "$tries" -lt 75 ] || { echo "FAIL: the daemon did not find the IPv6 chains again"; exit 1; }
      sleep 1
    done
    floods 2 4 6
    ;;
esac
waitfloods
sleep 1.6  # the last second's bytes reach the counters and a listing
stop

in4=$(rawbytes iptables PREROUTING) out4=$(rawbytes iptables OUTPUT)
in6=$(rawbytes ip6tables PREROUTING) out6=$(rawbytes ip6tables OUTPUT)
echo "kernel counters: IPv4 in $in4 out $out4, IPv6 in $in6 out $out6"
[ "$in4" -gt 1000000 ] && [ "$in6" -gt 1000000 ] || fail "the floods did not reach the link"
case $case in
  flood | chainsup)
    expect "totals against the kernel's counters" $((in4 + in6)) $((out4 + out6))
    check "totals against the link's bytes" "$(linkbytes)" "$(sumday "$work/files/day")"
    ;;
  kill9)
    got=$(sumday "$work/files/day")
    lostin=$((in4 + in6 - ${got% *})) lostout=$((out4 + out6 - ${got#* }))
    echo "after kill -9: lost in $lostin out $lostout; unsaved when killed: $saved -> $counted"
    if [ "$backend" = nft ]; then
      check "nothing lost or counted twice across kill -9 (in out)" "0 0" "$lostin $lostout"
    else
      # The design loses what the day file had not saved: what the today file
      # held beyond it, and the second in progress.
      second=$((4 * rate * (payload6 + 48)))
      unsavedin=$((${counted% *} - ${saved% *} + second))
      unsavedout=$((${counted#* } - ${saved#* } + second))
      [ "$lostin" -ge 0 ] && [ "$lostout" -ge 0 ] || fail "bytes counted twice across kill -9"
      [ "$lostin" -le "$unsavedin" ] || fail "lost $lostin bytes in, more than the $unsavedin unsaved"
      [ "$lostout" -le "$unsavedout" ] || fail "lost $lostout bytes out, more than the $unsavedout unsaved"
    fi
    grep -q "ignored the saved counter readings" "$work/stderr" && fail "the saved readings were ignored"
    ;;
  noipv6)
    expect "IPv4 alone against the kernel's counters" "$in4" "$out4"
    if grep -q -- -Z "$work/ip6tables.log" 2>/dev/null; then fail "a zeroing ip6tables listing ran"; fi
    grep -q "not counting IPv6" "$work/stderr" || fail "the daemon did not say that IPv6 is not counted"
    ;;
  ipv6gone)
    expect "IPv4 and the IPv6 the chains saw" $((in4 + before6in + in6 - gone6in)) \
      $((out4 + before6out + out6 - gone6out))
    ;;
esac
sed 's/^/daemon: /' "$work/stderr"
finish
