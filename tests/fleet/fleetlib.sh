# Helpers of the fleet tests and the fleet benchmark: appliances (an
# exporter over files of its own on a loopback port), a Prometheus, queries,
# and the appliances' own /api figures. Sourced after tests/lib/testlib.sh;
# every process started is recorded in $pids and stopped by cleanup_pids.
fleet_dir=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd)
pids=""

# The last started first: an agent then still reaches the server it sends to.
cleanup_pids() {
    reversed=""
    for pid in $pids; do reversed="$pid $reversed"; done
    for pid in $reversed; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    pids=""
}

# wait_until SECONDS COMMAND...: runs COMMAND every 0.2 s until it succeeds.
wait_until() {
    tries=$(($1 * 5))
    shift
    until "$@"; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.2
    done
}

# make_appliance DIR SEED DAYS LABELS: the daemon's files of one appliance.
make_appliance() {
    python3 "$fleet_dir/appliance.py" "$@"
}

# start_exporter EXPORTER DIR PORT: its pid in $started.
start_exporter() {
    "$1" --startup-script "$2/getbyteloomheaders.sh" --listen "127.0.0.1:$3" 2>>"$2/exporter.log" &
    started=$!
    pids="$pids $started"
    wait_until 10 curl -sf -o /dev/null "http://127.0.0.1:$3/api/rates"
}

# start_prometheus CONFIG DATA PORT [OPTIONS...]: its pid in $started; it is
# ready when $ready_url (default http://127.0.0.1:PORT/-/ready) answers to
# curl with $ready_curl.
start_prometheus() {
    config=$1 data=$2 port=$3
    shift 3
    prometheus --config.file="$config" --storage.tsdb.path="$data" \
        --web.listen-address="127.0.0.1:$port" --log.level=warn "$@" 2>>"$data.log" &
    started=$!
    pids="$pids $started"
    wait_until 30 curl -sf -o /dev/null ${ready_curl:-} "${ready_url:-http://127.0.0.1:$port/-/ready}"
}

# promql PORT QUERY [CURL OPTIONS...]: the first result's value, or nothing.
promql() {
    port=$1 expr=$2
    shift 2
    curl -s --max-time 5 "$@" -G "${query_url:-http://127.0.0.1:$port}/api/v1/query" --data-urlencode "query=$expr" |
        jq -r '.data.result[0].value[1] // empty'
}

# api_figure PORT PATH JQ: an appliance's /api figure, e.g.
# api_figure 9481 /api/today '.days[-1].traffic.net0.in'.
api_figure() {
    curl -sf --max-time 5 "http://127.0.0.1:$1$2" | jq -r "$3"
}
