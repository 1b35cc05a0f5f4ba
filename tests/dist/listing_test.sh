#!/bin/sh
# The size the start-up script computes for a configuration's listing is the
# size of the real listing at its widest: the largest configuration that the
# script accepts, set up by byteloom-chains with every counter at 2^64-1,
# lists exactly that many characters (the IPv6 listing of the same entries
# no more), and the installed daemon reads both; one entry more is refused by
# the script and by byteloom-chains. In a private network namespace.
# usage: listing_test.sh STAGE IPTABLES_PROGRAM
. "$(dirname "$0")/../lib/testlib.sh"
stage=$1 backend=$2
command -v "$backend" >/dev/null || skip "$backend is not installed"
innetns "$@"
work=$(mktemp -d)
daemon=
trap '[ -z "$daemon" ] || kill "$daemon" 2>/dev/null; rm -rf "$work"' EXIT
pkg=$stage/usr/lib/byteloom
mkdir "$work/bin"
ln -s "$(command -v "$backend")" "$work/bin/iptables"
ln -s "$(command -v "$backend-restore")" "$work/bin/iptables-restore"
backend6=$(echo "$backend" | sed 's/iptables/ip6tables/')
ln -s "$(command -v "$backend6")" "$work/bin/ip6tables"
ln -s "$(command -v "$backend6-restore")" "$work/bin/ip6tables-restore"
export PATH="$work/bin:$PATH" BYTELOOM_CONF="$work/conf"

# Every kind of entry: short and long names, a wildcard, marks of several
# lengths, a host and a network, and plain entries after qualified ones.
cat > "$work/base" <<CONF
lo wan
eth0123456789ab:0xfffff:10.1.0.0/16 q1
eth0123456789ab long
ppp+:0x2:10.8.0.1 q2
ppp+ ppp
RATE_FILE=$work/rate
TODAY_FILE=$work/today
DAY_FILE=$work/day
HISTORY_FILE=$work/history
CONF
# withfillers N: the base and N more entries, alternately plain and qualified.
withfillers() {
    cp "$work/base" "$work/conf"
    i=0
    while [ "$i" -lt "$1" ]; do
        i=$((i + 1))
        if [ $((i % 2)) -eq 0 ]; then echo "veth$i f$i"; else echo "vpn$i:0x$i:10.9.$i.0/24 f$i"; fi
    done >> "$work/conf"
}

fillers=0
while withfillers $((fillers + 1)) && "$pkg/getbyteloomheaders.sh" > /dev/null 2>&1; do
    fillers=$((fillers + 1))
done
withfillers "$fillers"
size=$("$pkg/getbyteloomheaders.sh" --listing-size) || fail "the largest configuration is refused"
echo "largest accepted: $((fillers + 5)) entries, a listing of up to $size characters"
[ "$size" -le 16382 ] || fail "accepted a listing of $size characters"

ip link set lo up
"$pkg/byteloom-chains" up || fail "up refused the largest configuration"
# The same rules again, each counter at its largest.
max=18446744073709551615
for family in iptables ip6tables; do
    for chain in RTCHARTS_IN RTCHARTS_OUT; do
        echo "*mangle"
        echo ":$chain - [0:0]"
        $family -w -t mangle -S "$chain" | sed -n "s/^-A /[$max:$max] -A /p"
        echo COMMIT
    done > "$work/max.$family"
    $family-restore -w --noflush --counters < "$work/max.$family" || fail "cannot set the $family counters"
done
listing=$(iptables -t mangle -xvnL RTCHARTS_IN && iptables -t mangle -xvnL RTCHARTS_OUT)
check "rule lines at the widest" $((2 * (fillers + 5))) "$(printf '%s\n' "$listing" | grep -c "^$max $max ")"
# The daemon's command zeroes as well, which adds one line a chain.
sh -c 'iptables -t mangle -xvnL -Z RTCHARTS_IN && iptables -t mangle -xvnL -Z RTCHARTS_OUT' > "$work/listing"
check "listing size as computed" "$size" "$(wc -c < "$work/listing")"
# The IPv6 listing: "::/0" in the same columns, no rule for a qualified entry.
sh -c 'ip6tables -t mangle -xvnL -Z RTCHARTS_IN && ip6tables -t mangle -xvnL -Z RTCHARTS_OUT' > "$work/listing6"
check "IPv6 rule lines" $((2 * (fillers / 2 + 3))) "$(grep -c " RETURN " "$work/listing6")"
# ip6tables-nft 1.8.9 sets no IPv6 counters from a restore file: a rule line
# with both counters at 0 ("%8llu" each) is 24 characters short of its widest.
short=$(grep -c " RETURN " "$work/listing6" | awk -v at="$(grep -c "^$max $max " "$work/listing6")" '{ print $1 - at }')
size6=$(($(wc -c < "$work/listing6") + 24 * short))
echo "the IPv6 listing of the same entries: up to $size6 characters"
[ "$size6" -le "$size" ] || fail "the IPv6 listing ($size6 characters) is longer than computed ($size)"

# The daemon reads such listings and goes on counting.
iptables-restore -w --noflush --counters < "$work/max.iptables"
ip6tables-restore -w --noflush --counters < "$work/max.ip6tables"
"$stage/usr/sbin/byteloom" > "$work/stdout" 2> "$work/stderr" &
daemon=$!
sleep 2.5
kill -TERM "$daemon"
wait "$daemon"
check "daemon exit status after reading the widest listing" 0 $?
daemon=
check "daemon output" "" "$(cat "$work/stdout")"

withfillers $((fillers + 1))
"$pkg/getbyteloomheaders.sh" > "$work/out" 2> "$work/err" && fail "one entry more accepted"
[ ! -s "$work/out" ] || fail "the refused configuration printed $(cat "$work/out")"
grep -q "more than the 16382 the daemon reads" "$work/err" || fail "refusal does not name the limit: $(cat "$work/err")"
before=$(iptables -w -t mangle -S)
"$pkg/byteloom-chains" up 2> "$work/err" && fail "byteloom-chains up accepted one entry more"
grep -q "more than the 16382 the daemon reads" "$work/err" || fail "byteloom-chains does not name the limit"
check "the refused configuration changes no rule" "$before" "$(iptables -w -t mangle -S)"
finish
