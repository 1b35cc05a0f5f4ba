#!/bin/sh
# A real Prometheus scrapes the exporter every second; its HTTP API must then
# hold byteloom_bytes_total as the daemon's files give it, a label with a
# quote, a backslash and non-ASCII letters included. promtool lints both
# exposition formats and the shipped rules, which Prometheus loads:
# a today file left unwritten makes the stale-daemon alert pending. Runs in a
# private network namespace: loopback only.
# usage: prometheus_test.sh BYTELOOM_EXPORTER WORKDIR RULES
set -u
. "$(dirname "$0")/../lib/testlib.sh"
innetns "$@"
ip link set lo up
command -v prometheus >/dev/null && command -v promtool >/dev/null || skip "prometheus is not installed"
exporter=$1
rules=$3
work=$(mktemp -d "$2/prometheus.XXXXXX")
pids=""
cleanup() {
    for pid in $pids; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
die() {
    fail "$*"
    finish
}

odd='q"u\ote-é'
write_startup_script "$work/getbyteloomheaders.sh" "eth0 eth1" "wan $odd" "$work"
printf '[2026-03-05] wan 1000000 20000 %s 5 6 \n[2026-03-06] wan 3000000 40000 %s 7 8 \n' "$odd" "$odd" > "$work/history"
printf '[2026-03-07] wan 400 50 %s 0 1 ' "$odd" > "$work/day"
printf 'wan 512 64 %s 1 1 ' "$odd" > "$work/today"
printf '0.51 0.06 0.00 0.00 ' > "$work/rate"
# The running day counts as the day file dates it: 2026-03-07, not in the history.
expect_wan_in=4000512 expect_wan_out=60064 expect_odd_in=13 expect_odd_out=15

"$exporter" --startup-script "$work/getbyteloomheaders.sh" 2>"$work/exporter.log" &
pids="$!"
wait_for_file "$work/exporter.log" || die "the exporter did not start"
grep -q 'listening on 127.0.0.1:9468' "$work/exporter.log" || fail "not on the default address: $(cat "$work/exporter.log")"

curl -sf http://127.0.0.1:9468/metrics > "$work/text.prom" || die "no /metrics"
lint=$(promtool check metrics < "$work/text.prom" 2>&1) || fail "promtool check metrics (text): $lint"
check "promtool on the text format" "" "$lint"
curl -sf -H 'Accept: application/openmetrics-text; version=1.0.0' http://127.0.0.1:9468/metrics > "$work/open.prom"
check "OpenMetrics ends in # EOF" "# EOF" "$(tail -n 1 "$work/open.prom")"
# promtool lints with the text-format parser, which does not know that
# OpenMetrics names a counter family without its _total: only that may differ.
lint=$(promtool check metrics < "$work/open.prom" 2>&1 | grep -v '^byteloom_\(bytes\|read_errors\)_total no help text$')
check "promtool on OpenMetrics" "" "$lint"

# The shipped rules, with the alerts.
cp "$rules" "$work/rules.yml"
grep -q 'alert: ByteloomStale' "$work/rules.yml" || die "no alert rules found in $rules"
lint=$(promtool check rules "$work/rules.yml" 2>&1) || fail "promtool check rules: $lint"
# The daemon stopped ten minutes ago: it wrote the today file and, at its
# stop, the day file for the last time then.
touch -d '10 minutes ago' "$work/today" "$work/day"

cat > "$work/prometheus.yml" <<CONFIG
global:
  scrape_interval: 1s
  scrape_timeout: 1s
  evaluation_interval: 1s
rule_files: ['$work/rules.yml']
scrape_configs:
  - job_name: byteloom
    static_configs:
      - targets: ['127.0.0.1:9468']
CONFIG
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
    --web.listen-address=127.0.0.1:9090 --log.level=warn 2>"$work/prometheus.log" &
pids="$pids $!"

query() {
    curl -s --max-time 2 -G http://127.0.0.1:9090/api/v1/query --data-urlencode "query=$1" |
        jq -r '.data.result[0].value[1] // empty'
}
tries=0
until [ "$(query 'count_over_time(up{job="byteloom"}[1m])')" -ge 3 ] 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -lt 300 ] || die "Prometheus did not scrape three times: $(tail -5 "$work/prometheus.log")"
    sleep 0.1
done
check "scrapes all succeeded (OpenMetrics parsed)" 1 "$(query 'min_over_time(up{job="byteloom"}[1m])')"
check "series of byteloom_bytes_total" 4 "$(query 'count(byteloom_bytes_total)')"
check "wan in" "$expect_wan_in" "$(query 'byteloom_bytes_total{label="wan",direction="in"}')"
check "wan out" "$expect_wan_out" "$(query 'byteloom_bytes_total{label="wan",direction="out"}')"
check "odd label in" "$expect_odd_in" "$(query 'byteloom_bytes_total{label="q\"u\\ote-é",direction="in"}')"
check "odd label out" "$expect_odd_out" "$(query 'byteloom_bytes_total{label="q\"u\\ote-é",direction="out"}')"
check "rate of the last second" 510 "$(query 'byteloom_rate_bytes{label="wan",direction="in"}')"
check "day gauge" 512 "$(query 'byteloom_day_bytes{label="wan",direction="in"}')"
check "no read errors" 0 "$(query 'sum(byteloom_read_errors_total)')"
tries=0
until curl -s http://127.0.0.1:9090/api/v1/alerts | jq -e '.data.alerts[] | select(.labels.alertname == "ByteloomStale" and .state == "pending")' >/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -lt 50 ] || die "the stale-daemon alert is not pending: $(curl -s http://127.0.0.1:9090/api/v1/alerts)"
    sleep 0.1
done
check "the quota alert stays quiet" "" \
    "$(curl -s http://127.0.0.1:9090/api/v1/alerts | jq -r '.data.alerts[] | select(.labels.alertname == "ByteloomMonthlyQuota") | .state')"
finish
