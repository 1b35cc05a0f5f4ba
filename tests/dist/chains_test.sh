#!/bin/sh
# byteloom-chains against a real iptables backend, inside a private network
# namespace so the host's rules are never touched.
# usage: chains_test.sh IPTABLES_PROGRAM CHAINS_SCRIPT
. "$(dirname "$0")/../lib/testlib.sh"
backend=$1 chains=$2
command -v "$backend" >/dev/null || skip "$backend is not installed"
innetns "$@"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

backend6=$(echo "$backend" | sed 's/iptables/ip6tables/')
ipt() { "$backend" -w -t mangle "$@"; }
ipt6() { "$backend6" -w -t mangle "$@"; }
ours6() { ipt6 -S | grep -E 'RTCHARTS|^-A (PREROUTING|POSTROUTING)'; }
chainsof() { "$chains" --iptables "$backend" -c "$work/conf" "$@"; }
ours() { ipt -S | grep -E 'RTCHARTS|^-A (PREROUTING|POSTROUTING)'; }
bytesof() { ipt -xvnL "$1" | awk -v n="$2" 'NR == n + 2 { print $2 }'; }

ip link set lo up
# Packets to 127.0.0.2 carry mark 2, the qualified entry's traffic.
ipt -A OUTPUT -d 127.0.0.2 -j MARK --set-mark 2
ipt -A PREROUTING -i nowhere -j ACCEPT

printf 'lo:0x2:127.0.0.2 vpn\nlo wan\n' > "$work/conf"
chainsof up || fail "up failed"
expected_a="-N RTCHARTS_IN
-N RTCHARTS_OUT
-A PREROUTING -j RTCHARTS_IN
-A PREROUTING -i nowhere -j ACCEPT
-A POSTROUTING -j RTCHARTS_OUT
-A RTCHARTS_IN -d 127.0.0.2/32 -i lo -m mark --mark 0x2 -j RETURN
-A RTCHARTS_IN -i lo -m mark --mark 0x0/0x0 -j RETURN
-A RTCHARTS_OUT -d 127.0.0.2/32 -o lo -m mark --mark 0x2 -j RETURN
-A RTCHARTS_OUT -o lo -m mark --mark 0x0/0x0 -j RETURN"
check "rules after up" "$expected_a" "$(ours)"
# The qualified entry's destination is IPv4: only the plain entry has an
# IPv6 rule, with the mark test that keeps its lines from the qualified record.
expected6_a="-N RTCHARTS_IN
-N RTCHARTS_OUT
-A PREROUTING -j RTCHARTS_IN
-A POSTROUTING -j RTCHARTS_OUT
-A RTCHARTS_IN -i lo -m mark --mark 0x0/0x0 -j RETURN
-A RTCHARTS_OUT -o lo -m mark --mark 0x0/0x0 -j RETURN"
check "IPv6 rules after up" "$expected6_a" "$(ours6)"

bash -c 'echo > /dev/tcp/127.0.0.2/9' 2>/dev/null
chainsof up || fail "second up failed"
check "second up changes nothing" "$expected_a" "$(ours)"
[ "$(bytesof RTCHARTS_OUT 1)" -gt 0 ] || fail "marked traffic not counted, or counts lost by the second up"
[ "$(bytesof RTCHARTS_OUT 2)" -gt 0 ] || fail "unmarked reply not counted by the plain entry"
[ "$(bytesof RTCHARTS_IN 2)" -gt 0 ] || fail "inbound traffic not counted"

chainsof status > "$work/status" || fail "status failed with the chains up"
grep -q '^Chain RTCHARTS_IN' "$work/status" || fail "status does not list RTCHARTS_IN"
grep -q '^PREROUTING jumps to RTCHARTS_IN' "$work/status" || fail "status does not report the jump"
grep -q ' list up to [0-9]* of the 16382 characters' "$work/status" || fail "status does not report the listing size"
grep -q '^IPv6:' "$work/status" || fail "status does not show the IPv6 chains"

# IPV6=no takes the IPv6 chains away and leaves IPv4 as it is.
printf 'lo:0x2:127.0.0.2 vpn\nlo wan\nIPV6=no\n' > "$work/conf"
chainsof up || fail "up with IPV6=no failed"
check "IPV6=no: IPv4 unchanged" "$expected_a" "$(ours)"
check "IPV6=no: no IPv6 chains" "" "$(ours6)"
chainsof status > "$work/status" || fail "status failed with IPV6=no"
grep -q '^IPv6: not counted (IPV6=no)' "$work/status" || fail "status does not say IPv6 is off"
printf 'lo:0x2:127.0.0.2 vpn\nlo wan\n' > "$work/conf"
chainsof up || fail "up back with IPv6 failed"
check "IPv6 rules set up again" "$expected6_a" "$(ours6)"

printf 'veth9 z\nlo:0x3:127.0.0.0/8 x\nlo y\n' > "$work/conf"
chainsof up || fail "up after a change failed"
check "rules follow a changed configuration" "-N RTCHARTS_IN
-N RTCHARTS_OUT
-A PREROUTING -j RTCHARTS_IN
-A PREROUTING -i nowhere -j ACCEPT
-A POSTROUTING -j RTCHARTS_OUT
-A RTCHARTS_IN -i veth9 -j RETURN
-A RTCHARTS_IN -d 127.0.0.0/8 -i lo -m mark --mark 0x3 -j RETURN
-A RTCHARTS_IN -i lo -m mark --mark 0x0/0x0 -j RETURN
-A RTCHARTS_OUT -o veth9 -j RETURN
-A RTCHARTS_OUT -d 127.0.0.0/8 -o lo -m mark --mark 0x3 -j RETURN
-A RTCHARTS_OUT -o lo -m mark --mark 0x0/0x0 -j RETURN" "$(ours)"
ipt -S | grep -q _NEW && fail "scratch chain left behind"

before=$(ours)
printf 'lo:0x3 x\n' > "$work/conf"
chainsof up 2> "$work/err" && fail "up accepted a bad configuration"
grep -q 'must be ifname or ifname:matchval:dest' "$work/err" || fail "bad configuration not explained"
check "a bad configuration changes nothing" "$before" "$(ours)"

chainsof down || fail "down failed"
check "down leaves only the other rules" "-A PREROUTING -i nowhere -j ACCEPT" "$(ours)"
check "down removes the IPv6 chains too" "" "$(ours6)"
chainsof down || fail "second down failed"
chainsof status > /dev/null
check "status with nothing set up" 3 $?
chainsof sideways 2> /dev/null
check "unknown action" 2 $?

finish
