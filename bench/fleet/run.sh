#!/bin/sh
# The fleet benchmark in a private network namespace of its own (as root),
# else on loopback. See fleetbench.py.
# usage: run.sh EXPORTER RULES WORKDIR [APPLIANCES [SECONDS [INTERVAL [SCRAPES]]]]
if [ -z "${BYTELOOM_BENCH_NETNS:-}" ] && [ "$(id -u)" -eq 0 ] && unshare -n true 2>/dev/null; then
    BYTELOOM_BENCH_NETNS=1 exec unshare -n sh "$0" "$@"
fi
[ -n "${BYTELOOM_BENCH_NETNS:-}" ] && ip link set lo up
command -v prometheus >/dev/null || { echo "SKIP: prometheus is not installed"; exit 77; }
exec python3 "$(dirname "$0")/fleetbench.py" "$1" "$2" "$3" "${4:-50}" "${5:-180}" "${6:-5}" "${7:-10000}"
