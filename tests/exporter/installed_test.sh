#!/bin/sh
# The installed exporter: its unit passes systemd's offline checks and rates
# 2.0 or lower in "systemd-analyze security", and the installed program,
# run as an unprivileged user, finds the files through the start-up script
# installed beside the daemon and serves them.
# usage: installed_test.sh STAGE
set -u
. "$(dirname "$0")/../lib/testlib.sh"
innetns "$@"
ip link set lo up
command -v systemd-analyze >/dev/null || skip "systemd-analyze is not installed"
command -v setpriv >/dev/null || skip "setpriv is not installed"
stage=$1
usr=$stage/usr
# The stage may lie below a directory that other users can't enter (a
# checkout in /root): the unprivileged run gets a copy in a temporary
# directory that every user can reach.
work=$(mktemp -d /tmp/byteloom-installed.XXXXXX)
chmod 755 "$work"
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

[ -x "$usr/bin/byteloom-exporter" ] || fail "bin/byteloom-exporter missing"
[ -f "$usr/share/man/man8/byteloom-exporter.8.gz" ] || fail "man page missing"
unit=$usr/lib/systemd/system/byteloom-exporter.service
grep -qx 'ExecStart=/usr/bin/byteloom-exporter $BYTELOOM_EXPORTER_OPTS' "$unit" || fail "unit does not start /usr/bin/byteloom-exporter"
grep -qx 'After=byteloom.service network.target' "$unit" || fail "unit does not start after the daemon"

sed "s|=/usr/|=$usr/|" "$unit" > "$work/byteloom-exporter.service"
checkunit "$work/byteloom-exporter.service" 2.0

# The daemon's files as the service leaves them: root's, readable by all.
mkdir -p "$work/run" "$work/lib"
printf 'eth0 wan\neth1 lan\nRATE_FILE=%s/run/rate\nTODAY_FILE=%s/run/today\nDAY_FILE=%s/lib/day\nHISTORY_FILE=%s/lib/history\n' \
    "$work" "$work" "$work" "$work" > "$work/byteloom.conf"
printf '2.00 0.50 0.00 0.00 ' > "$work/run/rate"
printf 'wan 2000 500 lan 3 4 ' > "$work/run/today"
printf '[2026-03-07] wan 1000 200 lan 0 0 ' > "$work/lib/day"
printf '[2026-03-06] wan 70000 8000 lan 10 20 \n' > "$work/lib/history"
cp -a "$usr" "$work/usr"
chmod -R go+rX "$work"
unprivileged="setpriv --reuid=65534 --regid=65534 --clear-groups --no-new-privs"
$unprivileged test -x "$work/usr/bin/byteloom-exporter" ||
    fail "the unprivileged user can't run the copy in $work"

$unprivileged "$work/usr/bin/byteloom-exporter" --config "$work/byteloom.conf" 2>"$work/exporter.log" &
pid=$!
wait_for_file "$work/exporter.log" || fail "the installed exporter did not start"
kill -0 "$pid" 2>/dev/null || fail "the installed exporter ended at once: $(cat "$work/exporter.log")"
metrics=$(curl -s --max-time 5 http://127.0.0.1:9468/metrics)
check "total of wan in" 'byteloom_bytes_total{label="wan",direction="in"} 72000' \
    "$(echo "$metrics" | grep '^byteloom_bytes_total{label="wan",direction="in"}')"
check "rate of lan" 'byteloom_rate_bytes{label="lan",direction="in"} 0' \
    "$(echo "$metrics" | grep '^byteloom_rate_bytes{label="lan",direction="in"}')"
kill "$pid"
wait "$pid"
check "exit status after SIGTERM" 0 "$?"
pid=""
[ "$(find "$work" -newer "$work/exporter.log" -type f | wc -l)" -eq 0 ] || fail "the exporter wrote a file"
finish
