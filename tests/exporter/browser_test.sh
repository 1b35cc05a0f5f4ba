#!/bin/sh
# Headless Chromium loads the live page: the labels and the figures of the
# files must appear, today's hours too, and change when the files change. Saves a screenshot as
# WORKDIR/exporter-page.png. The browser runs in a private network namespace
# (only loopback exists), with background networking off, a dead proxy and
# host rules that resolve nothing but loopback.
# usage: browser_test.sh BYTELOOM_EXPORTER WORKDIR
set -u
. "$(dirname "$0")/../lib/testlib.sh"
innetns "$@"
ip link set lo up
command -v chromium >/dev/null || skip "chromium is not installed"
exporter=$1
out=$2
work=$(mktemp -d "$out/browser.XXXXXX")
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
die() {
    fail "$*"
    finish
}

write_startup_script "$work/getbyteloomheaders.sh" "eth0 eth1 tun0" "wan lan vpn" "$work"
# Thirty finished days up to yesterday for the chart, then the running day.
day=1
: > "$work/history"
while [ "$day" -le 30 ]; do
    printf '[%s] wan %d %d lan %d %d vpn %d %d \n' "$(date -d "$((31 - day)) days ago" +%F)" \
        $((day * 700000000 % 9000000000 + 2000000000)) $((day * 90000000 % 800000000 + 100000000)) \
        $((day * 31000000 % 500000000)) $((day * 17000000 % 300000000)) \
        $((day * 5000000 % 90000000)) $((day * 3000000 % 70000000)) >> "$work/history"
    day=$((day + 1))
done
printf '[%s] wan 1200000000 250000000 lan 70000000 20000000 vpn 1000000 900000 ' "$(date +%F)" > "$work/day"
printf 'wan 1234567890 256789012 lan 71234567 20123456 vpn 1012345 901234 ' > "$work/today"
printf '812.50 41.25 12.00 3.50 0.25 0.75 ' > "$work/rate"
# Today's lines: only midnight's, so the running hour holds the whole day so far.
printf '[%s 00:00] wan 0 0 lan 0 0 vpn 0 0 \n' "$(date +%F)" > "$work/history.5min"

"$exporter" --startup-script "$work/getbyteloomheaders.sh" --listen 127.0.0.1:9468 2>"$work/exporter.log" &
pid=$!
wait_for_file "$work/exporter.log" || die "the exporter did not start"

browse() {
    timeout 60 chromium --headless --no-sandbox --disable-gpu --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --disable-default-apps --disable-extensions --metrics-recording-only \
        --proxy-server=127.0.0.1:9 --host-resolver-rules="MAP * ~NOTFOUND, EXCLUDE 127.0.0.1" \
        --user-data-dir="$work/profile" --window-size=900,1000 --virtual-time-budget=8000 \
        "$@" http://127.0.0.1:9468/ 2>>"$work/chromium.log"
}

browse --dump-dom > "$work/first.html" || die "chromium failed: $(tail -3 "$work/chromium.log")"
for label in wan lan vpn; do
    grep -q "<tr data-label=\"$label\"><td>$label</td>" "$work/first.html" || fail "label $label not shown"
done
# From the rate file (kB per second) and the today file, in the page's units.
for figure in '812.50 kB' '41.25 kB' '12.00 kB' '250 B' '1.23 GB' '256.79 MB' '71.23 MB' '1.01 MB'; do
    grep -q "<td class=\"[a-z]*\">$figure</td>" "$work/first.html" || fail "figure $figure not shown"
done
grep -q '<polyline points="[0-9]' "$work/first.html" || fail "no line in the five-minute chart"
# Today by hour: 24 hours, all labels together, the running one up to the today file.
check "today by hour: the hours" 24 \
    "$(grep -o "data-start=\"$(date +%F) [0-9:]*\"" "$work/first.html" | sort -u | wc -l)"
grep -q '<title>[0-9:]* in 1.31 GB so far</title>' "$work/first.html" ||
    fail "the running hour's in is not shown"
grep -q '<title>[0-9:]* out 277.81 MB so far</title>' "$work/first.html" ||
    fail "the running hour's out is not shown"

printf 'wan 2345678901 256789012 lan 71234567 20123456 vpn 1012345 901234 ' > "$work/today"
printf '99.00 41.25 12.00 3.50 0.25 0.75 ' > "$work/rate"
browse --dump-dom > "$work/second.html" || die "chromium failed: $(tail -3 "$work/chromium.log")"
grep -q '<td class="in">99.00 kB</td>' "$work/second.html" || fail "the new rate is not shown"
grep -q '<td class="in">2.35 GB</td>' "$work/second.html" || fail "the new total is not shown"
grep -q '812.50 kB' "$work/second.html" && fail "the old rate is still shown"
grep -q 'in 2.42 GB so far</title>' "$work/second.html" || fail "the running hour is not updated"

# A minute of changing rates for the picture, rewritten in place as the daemon does.
(
    i=0
    while [ -d "$work" ] && [ "$i" -lt 400 ]; do
        printf '%d.%02d 41.25 %d.00 3.50 0.25 0.75 ' $(( (i * 37) % 500 + 300 )) $((i % 100)) $(( (i * 13) % 90 + 5 )) > "$work/rate"
        i=$((i + 1))
        sleep 0.02
    done
) &
writer=$!
sleep 0.5
browse --screenshot="$out/exporter-page.png" --virtual-time-budget=60000 >/dev/null || fail "no screenshot"
kill "$writer" 2>/dev/null
[ -s "$out/exporter-page.png" ] || fail "empty screenshot"
finish
