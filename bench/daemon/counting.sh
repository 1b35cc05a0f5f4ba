#!/bin/sh
# Usage: bench/daemon/counting.sh [BUILD_DIR] [SECONDS]   (as root; default 30 s a round)
# What the daemon's counting costs, in one run, inside a network namespace of
# its own with loopback traffic only. CPU per cycle is the daemon's and its
# children's (the shell and iptables), from /proc/PID/stat, over SECONDS cycles:
#   1. the second listing: IPv4 and IPv6 chains against IPv4 chains alone,
#      on iptables-legacy and on iptables-nft;
#   2. nf_tables before and after: the listing with -Z (what the daemon ran on
#      every backend before) against the listing without it and the growth of
#      each rule, and the bytes each loses under a loopback UDP load.
# Both nf_tables rounds run iptables through the same one-line wrapper, so
# the -Z round can be told "legacy" by `iptables -V`; it costs both the same.
# Takes about 7 rounds of SECONDS + 5 seconds.
set -e
build=$(cd "${1:-build}" && pwd)
seconds=${2:-30}
[ "$(id -u)" -eq 0 ] || { echo "counting.sh: needs root (network namespace, iptables)" >&2; exit 1; }
if [ -z "$BYTELOOM_COUNTING_INSIDE" ]; then
  BYTELOOM_COUNTING_INSIDE=1 exec unshare --net sh "$0" "$build" "$seconds"
fi
port=5001 payload=512 loadrate=20000 loadseconds=8
tools=$build/bench/daemon
work=$(mktemp -d /tmp/byteloom-counting.XXXXXX)
daemon=''
cleanup() {
  [ -z "$daemon" ] || kill "$daemon" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
ip link set lo up

mkdir -p "$work/bin" "$work/out"
cp "$build/daemon/byteloom" "$work/bin/byteloom"
. "$(dirname "$0")/../../tests/lib/daemonsetup.sh"
write_startup_script "$work/bin/getbyteloomheaders.sh" \
  "lo wan0:0x2:192.0.2.1 wan0 lan0 lan1 dmz0" "lo vpn wan lan guest dmz" "$work/out"

# makechains PROGRAM: both chains with one rule per record (the qualified one
# only for IPv4); only the lo rules see traffic.
makechains() {
  ipt=$1
  $ipt -t mangle -N RTCHARTS_IN
  $ipt -t mangle -N RTCHARTS_OUT
  $ipt -t mangle -A PREROUTING -j RTCHARTS_IN
  $ipt -t mangle -A POSTROUTING -j RTCHARTS_OUT
  $ipt -t mangle -A RTCHARTS_IN -i lo -p udp --dport $port -j RETURN
  $ipt -t mangle -A RTCHARTS_OUT -o lo -p udp --dport $port -j RETURN
  case $ipt in
    iptables*)
      $ipt -t mangle -A RTCHARTS_IN -i wan0 -m mark --mark 0x2 -j RETURN
      $ipt -t mangle -A RTCHARTS_OUT -o wan0 -d 192.0.2.1 -j RETURN
      ;;
  esac
  for ifname in wan0 lan0 lan1 dmz0; do
    $ipt -t mangle -A RTCHARTS_IN -i $ifname -m mark --mark 0x0/0x0 -j RETURN
    $ipt -t mangle -A RTCHARTS_OUT -o $ifname -m mark --mark 0x0/0x0 -j RETURN
  done
}

dropchains() {
  $1 -t mangle -F
  $1 -t mangle -X
}

# path BACKEND [-Z]: a PATH directory whose iptables and ip6tables are the
# backend's, through a wrapper; with -Z, the wrapper says "legacy" to -V, so
# the daemon lists with -Z as it did before on every backend.
path() {
  dir=$work/path-$1$2
  mkdir -p "$dir"
  for family in iptables ip6tables; do
    if [ "$2" = -Z ]; then version="echo '$family v1.8.9 (legacy)'"; else version="exec $family-$1 -V"; fi
    printf '#!/bin/sh\n[ "$1" != -V ] || { %s; exit; }\nexec %s "$@"\n' \
      "$version" "$(command -v $family-$1)" >"$dir/$family"
    chmod +x "$dir/$family"
  done
  echo "$dir:$PATH"
}

# cpu PID: the clock ticks of a process and of the children it has waited for.
cpu() { awk '{ print $14 + $15 + $16 + $17 }' "/proc/$1/stat"; }

# round PATH: starts the daemon, lets it settle, and prints its CPU per cycle (ms).
round() {
  rm -f "$work/out/"*
  PATH=$1 "$work/bin/byteloom" >>"$work/daemon.log" 2>&1 &
  daemon=$!
  sleep 3
  kill -0 "$daemon" 2>/dev/null || { echo "counting.sh: byteloom stopped:" >&2; cat "$work/daemon.log" >&2; exit 1; }
  before=$(cpu "$daemon")
  sleep "$seconds"
  after=$(cpu "$daemon")
  kill "$daemon"
  wait "$daemon" 2>/dev/null || true
  daemon=''
  awk -v t=$((after - before)) -v n="$seconds" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f", 1000 * t / hz / n }'
}

# lost PATH: the bytes the daemon misses of a loopback UDP load, in and out.
lost() {
  rm -f "$work/out/"*
  PATH=$1 "$work/bin/byteloom" >>"$work/daemon.log" 2>&1 &
  daemon=$!
  sleep 2
  load=$("$tools/byteloom_loopload" $port $((loadseconds * loadrate)) $loadrate $payload)
  sleep 2.5
  kill "$daemon"
  wait "$daemon" 2>/dev/null || true
  daemon=''
  sent=$(echo "$load" | awk '{ for (i = 1; i < NF; i++) if ($i == "ipbytes") print $(i + 1) }')
  awk -v sent="$sent" '{ print sent - $2, sent - $3, sent }' "$work/out/today"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2fx", a / b; else print "-" }'; }

echo "byteloom counting benchmark, $seconds cycles a round"
for backend in legacy nft; do
  makechains iptables-$backend
  eval "v4_$backend=$(round "$(path $backend)")"
  makechains ip6tables-$backend
  eval "both_$backend=$(round "$(path $backend)")"
  dropchains ip6tables-$backend
  if [ $backend = nft ]; then
    zeroing=$(round "$(path nft -Z)")
    lostzeroing=$(lost "$(path nft -Z)")
    lostgrowth=$(lost "$(path nft)")
  fi
  dropchains iptables-$backend
done

echo
printf "%-48s %10s %10s\n" "CPU per cycle, daemon and children (ms)" legacy nft
printf "%-48s %10s %10s\n" "IPv4 chains only" "$v4_legacy" "$v4_nft"
printf "%-48s %10s %10s\n" "IPv4 and IPv6 chains" "$both_legacy" "$both_nft"
printf "%-48s %10s %10s\n" "ratio: the second listing's cost" "$(ratio "$both_legacy" "$v4_legacy")" \
  "$(ratio "$both_nft" "$v4_nft")"
echo
printf "%-48s %10s %10s %9s\n" "iptables-nft, IPv4 chains" "with -Z" growth ratio
printf "%-48s %10s %10s %9s\n" "CPU per cycle, daemon and children (ms)" "$zeroing" "$v4_nft" \
  "$(ratio "$v4_nft" "$zeroing")"
printf "%-48s %10s %10s\n" "bytes not counted of $((loadseconds * loadrate)) datagrams, in" \
  "${lostzeroing%% *}" "${lostgrowth%% *}"
printf "%-48s %10s %10s\n" "bytes not counted, out" "$(echo "$lostzeroing" | cut -d' ' -f2)" \
  "$(echo "$lostgrowth" | cut -d' ' -f2)"
echo "(bytes sent each way: ${lostgrowth##* })"
