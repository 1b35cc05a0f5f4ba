#!/bin/sh
# Runs the real daemon for about two seconds against a fixed packet-filter
# listing, then checks that byteloom-report shows what the daemon wrote and
# leaves its files untouched. Needs neither root nor a network.
# usage: report_daemon_test.sh BYTELOOM BYTELOOM_REPORT
. "$(dirname "$0")/../lib/testlib.sh"
set -u
daemon=$1
report=$2
make_workdir
# Any failure ends this test at once.
fail() {
  echo "FAIL: $*"
  exit 1
}

mkdir -p "$work/bin" "$work/fakebin" "$work/files"
cp "$daemon" "$work/bin/byteloom"
write_startup_script "$work/bin/getbyteloomheaders.sh" "eth0 eth1" "wan lan" "$work/files"
fake_iptables "$work/fakebin"
echo "     812   904311 RETURN     all  --  eth0   *       0.0.0.0/0            0.0.0.0/0" \
  >"$work/listings/RTCHARTS_IN.always"
echo "     640    51200 RETURN     all  --  *      eth0    0.0.0.0/0            0.0.0.0/0" \
  >"$work/listings/RTCHARTS_OUT.always"

before=$(date -d '-2 days' +%F)
yesterday=$(date -d '-1 day' +%F)
printf '[%s] wan 1000 2000 lan 3 4 \nnot a day line\n[%s] wan 5000000 6000 lan 0 0 \n' \
  "$before" "$yesterday" >"$work/files/history"

PATH="$work/fakebin:$PATH" "$work/bin/byteloom" >"$work/daemon.out" &
pid=$!
# A termination during the start-up would end it with 1: wait for a cycle.
tries=0
until [ -s "$work/files/today" ]; do
  tries=$((tries + 1))
  [ $tries -le 200 ] || fail "no cycle within 10 s: $(cat "$work/daemon.out")"
  sleep 0.05
done
sleep 1.5
kill -TERM "$pid"
wait "$pid"
status=$?
pid=""
[ "$status" -eq 0 ] || fail "daemon ended with $status: $(cat "$work/daemon.out")"

set -- $(cat "$work/files/today")
[ "$1" = wan ] && [ "$2" -gt 0 ] && [ $(($2 % 904311)) -eq 0 ] ||
  fail "unexpected today file: $*"
todayin=$2
todayout=$3
sums() { md5sum "$work"/files/* ; }
untouched=$(sums)

"$report" --startup-script "$work/bin/getbyteloomheaders.sh" --json >"$work/json" 2>"$work/errors" ||
  fail "--json ended with $?: $(cat "$work/errors")"
grep -q "\"today\": true, \"traffic\": {\"wan\": {\"in\": $todayin, \"out\": $todayout}, \"lan\": {\"in\": 0, \"out\": 0}}" "$work/json" ||
  fail "today's figures missing from: $(cat "$work/json")"
grep -q "{\"date\": \"$yesterday\", \"today\": false, \"traffic\": {\"wan\": {\"in\": 5000000, \"out\": 6000}" "$work/json" ||
  fail "yesterday missing from: $(cat "$work/json")"
grep -q "history:2: no date stamp" "$work/errors" || fail "malformed line not named: $(cat "$work/errors")"

"$report" --startup-script "$work/bin/getbyteloomheaders.sh" --days 3 >"$work/table" 2>/dev/null || fail "table failed"
grep -q "^$(date +%F) today" "$work/table" || fail "no today row in: $(cat "$work/table")"
grep -q "^$yesterday  *5.00 MB  *6.00 kB" "$work/table" || fail "yesterday wrong in: $(cat "$work/table")"

"$report" --startup-script "$work/bin/getbyteloomheaders.sh" --svg "$work/chart.svg" 2>/dev/null || fail "svg failed"
grep -q "<title>wan $yesterday in: 5.00 MB (5000000 bytes)</title>" "$work/chart.svg" ||
  fail "chart lacks yesterday's bar"

"$report" --startup-script "$work/bin/getbyteloomheaders.sh" --live --count 1 >"$work/live" || fail "live failed"
grep -q "^wan  *904.31 kB/s  *51.20 kB/s$" "$work/live" || fail "rates wrong in: $(cat "$work/live")"

# The daemon's five-minute file: today's hours add up to the day so far.
[ -s "$work/files/history.5min" ] || fail "the daemon wrote no five-minute file"
"$report" --startup-script "$work/bin/getbyteloomheaders.sh" --hours --date "$(date +%F)" --json \
  >"$work/hours" 2>"$work/errors" || fail "--hours ended with $?: $(cat "$work/errors")"
grep -q "\"total\": {\"wan\": {\"in\": $todayin, \"out\": $todayout}, \"lan\": {\"in\": 0, \"out\": 0}}" \
  "$work/hours" || fail "today's hours do not add up to the day: $(cat "$work/files/history.5min" "$work/hours")"

[ "$(sums)" = "$untouched" ] || fail "the report changed the daemon's files"

rm "$work/files/today" "$work/files/history"
"$report" --startup-script "$work/bin/getbyteloomheaders.sh" --json >"$work/json" 2>"$work/errors" || fail "no fallback"
grep -q "files/today: cannot read: No such file or directory" "$work/errors" || fail "missing file not named"
grep -q "\"today\": true, \"traffic\": {\"wan\": {\"in\": $todayin," "$work/json" ||
  fail "the day file did not stand in for the today file: $(cat "$work/json")"
echo "PASS"
