#!/bin/sh
# The installed daemon, started through its sbin link, accounts loopback
# traffic through chains set up by byteloom-chains, saves the day on SIGTERM
# and resumes it when started again. Runs in a private network namespace.
# usage: endtoend_test.sh STAGE
. "$(dirname "$0")/../lib/testlib.sh"
stage=$1
command -v iptables >/dev/null || skip "iptables is not installed"
innetns "$@"
work=$(mktemp -d)
daemon=
trap '[ -z "$daemon" ] || kill "$daemon" 2>/dev/null; rm -rf "$work"' EXIT
sbin=$stage/usr/sbin
export BYTELOOM_CONF="$work/byteloom.conf"
cat > "$BYTELOOM_CONF" <<CONF
lo:0x2:127.0.0.2 vpn
lo wan
RATE_FILE=$work/rate
TODAY_FILE=$work/today
DAY_FILE=$work/day
HISTORY_FILE=$work/history
CONF

ip link set lo up
iptables -w -t mangle -A OUTPUT -d 127.0.0.2 -j MARK --set-mark 2
"$sbin/byteloom-chains" up || fail "byteloom-chains up failed"

startdaemon() {
    "$sbin/byteloom" > "$work/stdout" 2> "$work/stderr" &
    daemon=$!
    wait_for_file "$work/today" "" 5 || fail "$work/today never written"
}

stopdaemon() {
    kill -TERM "$daemon"
    wait "$daemon"
    check "exit status after SIGTERM" 0 $?
    daemon=
    check "nothing on standard output" "" "$(cat "$work/stdout")"
}

traffic() {
    for _ in 1 2 3; do
        bash -c 'echo > /dev/tcp/127.0.0.2/9; echo > /dev/tcp/127.0.0.1/9' 2>/dev/null
    done
}

n='[1-9][0-9]*'
startdaemon
traffic
sleep 2.2
grep -Eq "^vpn [0-9]+ $n wan $n $n \$" "$work/today" || fail "today file: $(cat "$work/today")"
grep -Eq '^([0-9]+\.[0-9]{2} ){4}$' "$work/rate" || fail "rate file: $(cat "$work/rate")"
stopdaemon

stamp="\\[$(date +%Y-%m-%d)\\]"
grep -Eq "^$stamp vpn [0-9]+ $n wan $n $n \$" "$work/day" || fail "day file: $(cat "$work/day")"
[ ! -e "$work/history" ] || fail "history written without a change of day"
saved=$(cut -d' ' -f2- "$work/day")

rm -f "$work/today"
startdaemon
resumed=$(cat "$work/today")
stopdaemon
# The first cycle may add bytes the chains counted meanwhile, never fewer.
awk -v saved="$saved" -v resumed="$resumed" 'BEGIN {
    n = split(saved, s, " "); split(resumed, r, " ")
    for (i = 1; i <= n; i++)
        if (s[i] ~ /^[0-9]+$/ ? r[i] + 0 < s[i] + 0 : r[i] != s[i]) exit 1
}' || fail "restart lost the day: saved $saved, resumed $resumed"

finish
