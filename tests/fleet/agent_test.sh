#!/bin/sh
# An appliance behind NAT pushes: Prometheus in agent mode, with the shipped
# configuration (only the URL, the name, the secret's and the CA's paths and
# shorter intervals changed), scrapes the exporter and writes to a central
# Prometheus over TLS with basic authentication. The central server then
# holds the appliance's running day as its /api/days gives it, and after
# being down a while, also what the agent scraped meanwhile. Runs in a
# private network namespace: loopback only.
# usage: agent_test.sh BYTELOOM_EXPORTER WORKDIR AGENT_CONFIG
set -u
. "$(dirname "$0")/../lib/testlib.sh"
innetns "$@"
ip link set lo up
command -v prometheus >/dev/null || skip "prometheus is not installed"
command -v openssl >/dev/null && command -v mkpasswd >/dev/null || skip "needs openssl and mkpasswd"
. "$(dirname "$0")/fleetlib.sh"
exporter=$1 shipped=$3
work=$(mktemp -d "$2/agent.XXXXXX")
trap 'cleanup_pids; rm -rf "$work"' EXIT
die() {
    fail "$*"
    finish
}

make_appliance "$work/files" 7 40 2
start_exporter "$exporter" "$work/files" 9468 || die "the exporter did not start"

# The central server: TLS with a certificate for 127.0.0.1, one user.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=central \
    -addext subjectAltName=IP:127.0.0.1 -keyout "$work/central.key" -out "$work/central.pem" \
    2>"$work/openssl.log" || die "openssl: $(cat "$work/openssl.log")"
password=fleet-secret-$$
(umask 077 && printf '%s\n' "$password" > "$work/secret")
cat > "$work/web.yml" <<WEB
tls_server_config:
  cert_file: $work/central.pem
  key_file: $work/central.key
basic_auth_users:
  appliance-test: '$(printf '%s' "$password" | mkpasswd -m bcrypt -s)'
WEB
printf 'global:\n  scrape_interval: 1h\n' > "$work/central.yml"
ready_url=https://127.0.0.1:9090/-/ready
ready_curl="--cacert $work/central.pem -u appliance-test:$password"
central() {
    start_prometheus "$work/central.yml" "$work/central" 9090 \
        --web.enable-remote-write-receiver --web.config.file="$work/web.yml" ||
        die "the central Prometheus did not start: $(tail -5 "$work/central.log")"
    central_pid=$started
}
central

# The shipped configuration, pointed at it.
python3 - "$shipped" "$work" > "$work/agent.yml" <<'CONFIG' || die "the shipped configuration does not parse"
import sys, yaml
shipped, work = sys.argv[1:]
config = yaml.safe_load(open(shipped))
config["global"]["scrape_interval"] = "1s"
config["global"]["scrape_timeout"] = "1s"
config["scrape_configs"][0]["static_configs"][0]["labels"]["instance"] = "appliance-test"
write = config["remote_write"][0]
write["url"] = "https://127.0.0.1:9090/api/v1/write"
write["basic_auth"]["username"] = "appliance-test"
write["basic_auth"]["password_file"] = f"{work}/secret"
write["tls_config"] = {"ca_file": f"{work}/central.pem"}
write["queue_config"]["max_backoff"] = "1s"
yaml.safe_dump(config, sys.stdout)
CONFIG
prometheus --enable-feature=agent --config.file="$work/agent.yml" --storage.agent.path="$work/agent" \
    --web.listen-address=127.0.0.1:9469 --storage.remote.flush-deadline=5s --log.level=warn \
    2>"$work/agent.log" &
pids="$pids $!"

query_url=https://127.0.0.1:9090
ask() {
    asked=$1
    shift
    promql 9090 "$asked" --cacert "$work/central.pem" -u "appliance-test:$password" "$@"
}
series='byteloom_day_bytes{instance="appliance-test",job="byteloom",label="net0",direction="in"}'
arrived() { [ -n "$(ask "$series")" ]; }
wait_until 30 arrived || die "nothing arrived: $(tail -5 "$work/agent.log")"
check "the central server refuses a wrong password" 401 \
    "$(curl -s -o /dev/null -w '%{http_code}' --cacert "$work/central.pem" -u appliance-test:wrong \
        https://127.0.0.1:9090/api/v1/query?query=up)"
pushed() {
    [ "$(ask "count_over_time(${series}[1m])")" -ge 3 ] 2>/dev/null
}
wait_until 20 pushed || fail "fewer than three scrapes arrived"
for label in net0 net1; do
    for direction in in out; do
        check "central's day of $label $direction" \
            "$(api_figure 9468 '/api/days?days=1' ".days[-1].traffic.$label.$direction")" \
            "$(ask "byteloom_day_bytes{instance=\"appliance-test\",label=\"$label\",direction=\"$direction\"}")"
    done
done
check "central's month of net1 out" \
    "$(api_figure 9468 '/api/months?months=1' '.months[0].traffic.net1.out')" \
    "$(ask 'byteloom_month_bytes{instance="appliance-test",label="net1",direction="out"}')"

# The central server goes down; meanwhile the day grows by 5000 bytes.
before=$(ask "$series")
kill "$central_pid"
wait "$central_pid" 2>/dev/null
downsince=$(date +%s)
python3 - "$work/files/today" <<'RAISE'
import sys
fields = open(sys.argv[1]).read().split()
fields[1] = str(int(fields[1]) + 5000)
open(sys.argv[1], "w").write(" ".join(fields) + " ")
RAISE
raised=$((before + 5000))
check "the exporter shows the raise" "$raised" "$(api_figure 9468 /api/today '.days[-1].traffic.net0.in')"
sleep 6
upagain=$(date +%s)
central
window=$((upagain - downsince))
caughtup() {
    [ "$(ask "count_over_time(${series}[${window}s])" --data-urlencode "time=$upagain")" -ge $((window - 2)) ] 2>/dev/null
}
wait_until 30 caughtup ||
    fail "the scrapes of the ${window} s down were not sent: $(ask "count_over_time(${series}[${window}s])" --data-urlencode "time=$upagain") samples"
check "what was scraped while down" "$raised" \
    "$(ask "max_over_time(${series}[${window}s])" --data-urlencode "time=$upagain")"
check "and now" "$raised" "$(ask "$series")"
finish
