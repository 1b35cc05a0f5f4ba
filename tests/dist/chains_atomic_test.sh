#!/bin/sh
# byteloom-chains up changes live chains while loopback traffic runs through
# them: every listing taken meanwhile shows a whole old or whole new rule set,
# and the rules that stay count every byte, including those counted between
# byteloom's reads. In a private network namespace.
# usage: chains_atomic_test.sh IPTABLES_PROGRAM CHAINS_SCRIPT UDPBURST
. "$(dirname "$0")/../lib/testlib.sh"
backend=$1 chains=$2 burst=$3
command -v "$backend" >/dev/null || skip "$backend is not installed"
command -v "$backend-restore" >/dev/null || skip "$backend-restore is not installed"
innetns "$@"
work=$(mktemp -d)
trap 'touch "$work/stop"; wait; rm -rf "$work"' EXIT

ipt() { "$backend" -w -t mangle "$@"; }
up() { "$chains" --iptables "$backend" -c "$work/$1" up || fail "up with $1 failed"; }
# bytesof CHAIN RULE: the byte counter of a rule given by its text after -A CHAIN.
countof() { if [ -e "$1" ]; then echo $#; else echo 0; fi; }
bytesof() { ipt -v -S "$1" | awk -v rule="-A $1 $2" '{ c = $0; sub(/ -c [0-9]+ [0-9]+/, "", c) } c == rule { print $(NF - 2) }'; }

# Three configurations that all keep the plain lo entry, which counts the
# traffic to 127.0.0.1; b adds entries around it, c changes the qualified one.
printf 'lo:0x3:127.0.0.2 vpn\nlo wan\n' > "$work/a"
printf 'veth9 x\nlo:0x3:127.0.0.2 vpn\nlo wan\ndummy7 y\n' > "$work/b"
printf 'lo:0x4:127.0.0.0/8 vpn\nlo wan\n' > "$work/c"
ip link set lo up
up a
ipt -S RTCHARTS_IN > "$work/rules.a"
for config in b c; do
    up "$config"
    ipt -S RTCHARTS_IN > "$work/rules.$config"
done
up a

# 2,000 datagrams of 1,000 bytes (with the IP and UDP headers) a burst,
# burst after burst, until told to stop; a file per finished burst.
(
    n=0
    until [ -e "$work/stop" ]; do
        "$burst" 2000 972 > /dev/null || touch "$work/burstfailed"
        n=$((n + 1))
        : > "$work/burst.$n"
    done
) &
# Listings as fast as iptables gives them, each kept when it is new and the
# next one agrees: iptables-nft reads the rules without a snapshot, so one
# listing taken during a commit can show a rule twice (about once in 6,000
# here), and the daemon too counts a changed listing only once two agree.
(
    n=0
    until [ -e "$work/stop" ]; do
        n=$((n + 1))
        ipt -S RTCHARTS_IN > "$work/listing" 2>&1
        cmp -s "$work/listing" "$work/previous" && ! cmp -s "$work/listing" "$work/last" &&
            { cp "$work/listing" "$work/seen.$n"; cp "$work/listing" "$work/last"; }
        mv "$work/listing" "$work/previous"
    done
) &
for _ in 1 2 3 4; do
    for config in b c a; do
        up "$config"
        ipt -S RTCHARTS_IN | cmp -s - "$work/rules.$config" || fail "up with $config left other rules"
    done
done
touch "$work/stop"
wait

[ ! -e "$work/burstfailed" ] || fail "a burst lost datagrams"
bursts=$(countof "$work"/burst.*)
[ "$bursts" -ge 2 ] || fail "only $bursts bursts ran while up ran"
expected=$((bursts * 2000 * 1000))
plain="-i lo -m mark --mark 0x0/0x0 -j RETURN"
check "bytes counted inbound by the kept rule" "$expected" "$(bytesof RTCHARTS_IN "$plain")"
check "bytes counted outbound by the kept rule" "$expected" \
    "$(bytesof RTCHARTS_OUT "$(echo "$plain" | sed 's/-i lo/-o lo/')")"

for seen in "$work"/seen.*; do
    cmp -s "$seen" "$work/rules.a" || cmp -s "$seen" "$work/rules.b" || cmp -s "$seen" "$work/rules.c" ||
        { fail "a listing during up showed a partial rule set:"; cat "$seen" >&2; }
done
echo "$bursts bursts, $(countof "$work"/seen.*) distinct listings"

# An unchanged configuration changes no rule, counters included (the built-in
# chains' policy counters are left out: iptables-nft-restore resets them).
rules() { ipt -v -S | grep -v '^-P '; }
before=$(rules)
up a
check "up with the same configuration keeps rules and counters" "$before" "$(rules)"
ipt -S | grep -q _NEW && fail "scratch chain left behind"
finish
