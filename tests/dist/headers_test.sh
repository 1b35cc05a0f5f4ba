#!/bin/sh
# The start-up script: what it prints for good configurations, and that a bad
# one is refused as a whole with the reason on standard error.
# usage: headers_test.sh SCRIPT EXAMPLE_CONF
. "$(dirname "$0")/../lib/testlib.sh"
script=$1 example=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run TEXT: runs the script on a configuration holding TEXT.
run() {
    printf '%b' "$1" > "$work/conf"
    BYTELOOM_CONF=$work/conf "$script" > "$work/out" 2> "$work/err"
    status=$?
}

expect_output() {
    run "$2"
    check "$1: status" 0 "$status"
    check "$1: output" "$(printf '%b' "$3")" "$(cat "$work/out")"
}

# expect_refusal NAME TEXT MESSAGE: no output, a failing status, MESSAGE on stderr.
expect_refusal() {
    run "$2"
    [ "$status" -ne 0 ] || fail "$1: accepted"
    [ ! -s "$work/out" ] || fail "$1: printed $(cat "$work/out")"
    grep -qF -- "$3" "$work/err" || fail "$1: stderr lacks '$3': $(cat "$work/err")"
}

defaults='/run/byteloom/rate\n/run/byteloom/today\n/var/lib/byteloom/day\n/var/lib/byteloom/history'

# Good configurations
BYTELOOM_CONF=$example "$script" > "$work/out" 2> "$work/err" || fail "shipped example refused"
check "shipped example" "$(printf 'eth1:0x2:10.8.0.1 eth1 eth0\n%b\nvpn wan lan' "$defaults")" "$(cat "$work/out")"
check "shipped example is quiet" "" "$(cat "$work/err")"

expect_output "defaults" 'eth0 wan\n' "eth0\n$defaults\nwan"
expect_output "comments, blanks and tabs" \
    '# head\n\n  eth0\twan   # uplink\n\t# indented comment\neth1:0x2:10.8.0.1 vpn # 1\n' \
    "eth0 eth1:0x2:10.8.0.1\n$defaults\nwan vpn"
expect_output "all four paths, in any order" \
    'HISTORY_FILE=/h\nlo a\nRATE_FILE = /r s\nTODAY_FILE=/t\nDAY_FILE=/d\n' 'lo\n/r s\n/t\n/d\n/h\na'
expect_output "longest fields" \
    "eth0123456789ab:0xfffff:255.255.255.255 $(printf '%0255d' 7)\n" \
    "eth0123456789ab:0xfffff:255.255.255.255\n$defaults\n$(printf '%0255d' 7)"
expect_output "networks, wildcards, marks of zero" \
    'ppp+:0x0:10.8.0.0/24 a\nppp+:0x1:10.8.0.128/25 b\nppp+:0x2:0.0.0.0/1 c\nppp+ d\n' \
    "ppp+:0x0:10.8.0.0/24 ppp+:0x1:10.8.0.128/25 ppp+:0x2:0.0.0.0/1 ppp+\n$defaults\na b c d"

run 'eth0 wan.1\n'
check "label with a dot is kept" "wan.1" "$(tail -n 1 "$work/out")"
[ ! -s "$work/err" ] || fail "a label with a dot gave a complaint: $(cat "$work/err")"

# Refused configurations
printf 'eth0 wan\n' > "$work/conf"
BYTELOOM_CONF=$work/missing "$script" > "$work/out" 2> "$work/err" && fail "missing file accepted"
[ ! -s "$work/out" ] || fail "missing file printed something"
grep -q "cannot read.*$work/missing" "$work/err" || fail "missing file not named"

expect_refusal "no interface" '# nothing\nRATE_FILE=/r\n' "names no interface"
expect_refusal "one bad line among good ones" 'eth0 wan\neth1:0x2 vpn\neth2 lan\n' \
    ":2: interface \"eth1:0x2\" must be ifname or ifname:matchval:dest"
expect_refusal "four parts" 'eth1:0x2:10.8.0.1:x vpn\n' "must be ifname or ifname:matchval:dest"
expect_refusal "empty name" ':0x2:10.8.0.1 vpn\n' "without a name"
expect_refusal "long name" 'eth0123456789abc wan\n' "longer than 15"
expect_refusal "slash in a name" 'eth/0 wan\n' "character iptables rejects"
expect_refusal "decimal mark" 'eth1:2:10.8.0.1 vpn\n' "as iptables lists it"
expect_refusal "leading zero in a mark" 'eth1:0x02:10.8.0.1 vpn\n' "as iptables lists it"
expect_refusal "upper-case mark" 'eth1:0x2A:10.8.0.1 vpn\n' "as iptables lists it"
expect_refusal "long mark" 'eth1:0x100000:10.8.0.1 vpn\n' "longer than 7"
expect_refusal "host with /32" 'eth1:0x2:10.8.0.1/32 vpn\n' "without /32"
expect_refusal "host bits set" 'eth1:0x2:10.8.0.1/24 vpn\n' "host bits set"
expect_refusal "octet over 255" 'eth1:0x2:10.8.0.256 vpn\n' "not an IPv4 address"
expect_refusal "host name" 'eth1:0x2:gateway vpn\n' "not an IPv4 address"
expect_refusal "everything" 'eth1:0x2:0.0.0.0/0 vpn\n' "matches everything"
expect_refusal "missing label" 'eth0\n' 'expected "<interface> <label>"'
expect_refusal "three words" 'eth0 wan extra\n' 'expected "<interface> <label>"'
expect_refusal "long label" "eth0 $(printf '%0256d' 7)\n" "longer than 255"
expect_refusal "control character in a label" 'eth0 w\001n\n' "control character"
expect_refusal "hash in a label" 'eth0 w#n\n' 'holds a "#"'
expect_refusal "label twice" 'eth0 wan\neth1 wan\n' ':2: label "wan" is used twice'
expect_refusal "interface twice" 'eth0 a\neth0 b\n' 'listed twice'
expect_refusal "catch-all first" 'eth1 wan\neth1:0x2:10.8.0.1 vpn\n' 'which takes all its traffic'
# IPV6 turns IPv6 counting off for byteloom-chains; the six lines stay as they are.
expect_output "IPV6=no" 'eth0 wan\nIPV6 = no\n' "eth0\n$defaults\nwan"
run 'eth0 wan\nIPV6=no\n'
check "--ipv6 with IPV6=no" no "$(BYTELOOM_CONF=$work/conf "$script" --ipv6)"
run 'eth0 wan\n'
check "--ipv6 by default" yes "$(BYTELOOM_CONF=$work/conf "$script" --ipv6)"
expect_refusal "IPV6 neither yes nor no" 'eth0 wan\nIPV6=off\n' 'IPV6 must be yes or no'
expect_refusal "IPV6 twice" 'eth0 wan\nIPV6=no\nIPV6=no\n' 'setting "IPV6" is given twice'
expect_refusal "unknown setting" 'eth0 wan\nRATEFILE=/r\n' 'unknown setting "RATEFILE"'
expect_refusal "setting twice" 'eth0 wan\nDAY_FILE=/a\nDAY_FILE=/b\n' 'given twice'
expect_refusal "relative path" 'eth0 wan\nDAY_FILE=day\n' 'absolute path'
expect_refusal "long path" "eth0 wan\nDAY_FILE=/$(printf '%0511d' 7)\n" 'longer than 511'
expect_refusal "shared file" 'eth0 wan\nTODAY_FILE=/var/lib/byteloom/day\n' \
    'TODAY_FILE and DAY_FILE are the same file'

# Entries at their widest: 54 fit the daemon's listing, 55 do not.
widest() {
    i=0
    while [ "$i" -lt "$1" ]; do
        i=$((i + 1))
        printf 'eth%012d:0xfffff:10.0.0.%d w%d\n' "$i" "$i" "$i"
    done
}
expect_output "54 entries at their widest" "$(widest 54)" \
    "$(widest 54 | cut -d' ' -f1 | paste -sd' ')\n$defaults\n$(widest 54 | cut -d' ' -f2 | paste -sd' ')"
expect_refusal "55 entries at their widest" "$(widest 55)" \
    "55 interface entries can make an iptables listing of 16488 characters, more than the 16382 the daemon reads"
# 64 labels of 255 characters fit the listing but not the start-up output.
expect_refusal "start-up output too long" \
    "$(i=0; while [ $i -lt 64 ]; do i=$((i + 1)); printf 'e%d %0255d\n' $i $i; done)" \
    "characters, more than the 16382 the daemon reads; use shorter labels"

finish
