#!/bin/sh
# Three appliances scraped by a real Prometheus that loads the fleet's rules:
# each appliance's day and month as the rules record them equal its own
# /api/today and /api/months, the fleet sums equal their sums and hold while
# an exporter restarts, and every panel of the dashboard, its variables
# substituted, returns series with the labels its legend names. Runs in a
# private network namespace: loopback only.
# usage: prometheus_test.sh BYTELOOM_EXPORTER WORKDIR RULES DASHBOARD
set -u
. "$(dirname "$0")/../lib/testlib.sh"
innetns "$@"
ip link set lo up
command -v prometheus >/dev/null || skip "prometheus is not installed"
. "$(dirname "$0")/fleetlib.sh"
exporter=$1 rules=$3 dashboard=$4
work=$(mktemp -d "$2/fleet.XXXXXX")
trap 'cleanup_pids; rm -rf "$work"' EXIT
die() {
    fail "$*"
    finish
}

appliances="1 2 3"
targets=""
for n in $appliances; do
    make_appliance "$work/a$n" "$n" 70 2
    start_exporter "$exporter" "$work/a$n" $((9480 + n)) || die "exporter $n did not start"
    eval "exporter$n=$started"
    targets="$targets'127.0.0.1:$((9480 + n))',"
done
cat > "$work/prometheus.yml" <<CONFIG
global:
  scrape_interval: 1s
  scrape_timeout: 1s
  evaluation_interval: 1s
rule_files: ['$rules']
scrape_configs:
  - job_name: byteloom
    static_configs:
      - targets: [$targets]
CONFIG
start_prometheus "$work/prometheus.yml" "$work/data" 9090 || die "Prometheus did not start: $(cat "$work/data.log")"

recorded() {
    [ "$(promql 9090 'count(instance_label_direction:byteloom_bytes:rate5m)')" = 12 ] &&
        [ "$(promql 9090 'count(direction:byteloom_month_bytes:sum)')" = 2 ]
}
wait_until 30 recorded || die "the rules recorded nothing: $(tail -5 "$work/data.log")"

# Each appliance's figures as its own /api gives them, and their sums.
fleet_day_in=0 fleet_month_out=0
for n in $appliances; do
    port=$((9480 + n)) instance="127.0.0.1:$((9480 + n))"
    for label in net0 net1; do
        for direction in in out; do
            day=$(api_figure $port /api/today ".days[-1].traffic.$label.$direction")
            month=$(api_figure $port '/api/months?months=1' ".months[0].traffic.$label.$direction")
            selector="{instance=\"$instance\",label=\"$label\",direction=\"$direction\"}"
            check "day of $instance $label $direction" "$day" \
                "$(promql 9090 "instance_label_direction:byteloom_day_bytes:last1h$selector")"
            check "month of $instance $label $direction" "$month" \
                "$(promql 9090 "instance_label_direction:byteloom_month_bytes:last1h$selector")"
            [ "$direction" = in ] && fleet_day_in=$((fleet_day_in + day))
            [ "$direction" = out ] && fleet_month_out=$((fleet_month_out + month))
        done
    done
done
fleet_day() { promql 9090 'direction:byteloom_day_bytes:sum{direction="in"}'; }
fleet_month() { promql 9090 'direction:byteloom_month_bytes:sum{direction="out"}'; }
check "fleet day in" "$fleet_day_in" "$(fleet_day)"
check "fleet month out" "$fleet_month_out" "$(fleet_month)"

# The dashboard: for one appliance and for all of them.
out=$(python3 "$fleet_dir/dashboard.py" query "$dashboard" http://127.0.0.1:9090 \
    job=byteloom instance=127.0.0.1:9482 label=net1 datasource=prometheus 2>&1)
check "dashboard for one appliance and label" "0" "$?"
echo "$out"
out=$(python3 "$fleet_dir/dashboard.py" query "$dashboard" http://127.0.0.1:9090 \
    job=byteloom instance=.+ label=.+ datasource=prometheus 2>&1)
check "dashboard for all" "0" "$?"
echo "$out"

# Exporter 1 stops: Prometheus marks its series stale at the next scrape;
# the fleet sums stay as they were, then go on with the restarted exporter.
kill "$exporter1"
wait "$exporter1" 2>/dev/null
down() { [ "$(promql 9090 'up{instance="127.0.0.1:9481"}')" = 0 ]; }
wait_until 10 down || fail "the stop was not seen"
for second in 1 2 3; do
    check "fleet day in, exporter 1 down ($second)" "$fleet_day_in" "$(fleet_day)"
    check "fleet month out, exporter 1 down ($second)" "$fleet_month_out" "$(fleet_month)"
    sleep 1
done
check "no raw gauge of exporter 1 while down" "" "$(promql 9090 'byteloom_day_bytes{instance="127.0.0.1:9481"}')"
# It comes back with 1000 bytes more on its running day.
python3 - "$work/a1" <<'RAISE'
import sys
path = sys.argv[1] + "/today"
fields = open(path).read().split()
fields[1] = str(int(fields[1]) + 1000)
open(path, "w").write(" ".join(fields) + " ")
RAISE
start_exporter "$exporter" "$work/a1" 9481 || die "exporter 1 did not start again"
raised() { [ "$(fleet_day)" = $((fleet_day_in + 1000)) ]; }
wait_until 10 raised ||
    fail "the restarted exporter's figures are not summed: $(fleet_day) != $((fleet_day_in + 1000))"
check "fleet month out after the restart" "$fleet_month_out" "$(fleet_month)"
finish
