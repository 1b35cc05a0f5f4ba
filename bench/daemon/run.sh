#!/bin/sh
# Usage: bench/daemon/run.sh [BUILD_DIR] [--quick]   (as root)
# Measures byteloom against a minimal C loop in one run, inside a network
# namespace of its own (private iptables, loopback traffic only):
#   1. parse and match of a full 16,382-character listing vs a memchr scan
#   2. CPU and wakeups per cycle (main thread, children excluded) and private dirty memory,
#      the daemon and the C loop running side by side
#   3. heap allocations per steady-state cycle, counted by a preload
#   4. the listing command on iptables-legacy and iptables-nft: time per
#      cycle and bytes lost under a bounded loopback UDP load
#   5. the five-minute file: the CPU of its line and decisions against the
#      cycle measured in 2, and its daily thinning, on 16 labels
# Takes about 2 minutes, or 40 seconds with --quick.
set -e
build=$(cd "${1:-build}" && pwd)
mode=${2:-full}
[ "$(id -u)" -eq 0 ] || { echo "run.sh: needs root (network namespace, iptables)" >&2; exit 1; }
if [ -z "$BYTELOOM_BENCH_INSIDE" ]; then
  BYTELOOM_BENCH_INSIDE=1 exec unshare --net sh "$0" "$build" "$mode"
fi

if [ "$mode" = --quick ]; then
  rounds=20 window=8 alloccycles=4 cmdruns=5 loadseconds=4 loadrate=10000 thinrounds=3
else
  rounds=60 window=61 alloccycles=10 cmdruns=20 loadseconds=10 loadrate=20000 thinrounds=11
fi
warmup=3 port=5001 payload=512
tools=$build/bench/daemon
work=$(mktemp -d /tmp/byteloom-bench.XXXXXX)
started=""
cleanup() {
  for pid in $started; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "$BYTELOOM_BENCH_KEEP" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
ip link set lo up

# The daemon finds its start-up script beside its executable.
mkdir -p "$work/bin" "$work/out"
cp "$build/daemon/byteloom" "$work/bin/byteloom"
# Written back now: pages of a file still dirty in the page cache would count
# as the daemon's own private dirty memory.
sync "$work/bin/byteloom"
cat >"$work/bin/getbyteloomheaders.sh" <<EOF
#!/bin/sh
echo "lo wan0:0x2:192.0.2.1 wan0 lan0 lan1 dmz0"
echo "$work/out/rate"
echo "$work/out/today"
echo "$work/out/day"
echo "$work/out/history"
echo "lo vpn wan lan guest dmz"
EOF
chmod +x "$work/bin/getbyteloomheaders.sh"
interfaces=6

# Both chains with one rule per record; only the lo rules see traffic.
makechains() {
  ipt=$1
  $ipt -t mangle -N RTCHARTS_IN
  $ipt -t mangle -N RTCHARTS_OUT
  $ipt -t mangle -A PREROUTING -j RTCHARTS_IN
  $ipt -t mangle -A POSTROUTING -j RTCHARTS_OUT
  $ipt -t mangle -A RTCHARTS_IN -i lo -p udp --dport $port -j RETURN
  $ipt -t mangle -A RTCHARTS_OUT -o lo -p udp --dport $port -j RETURN
  $ipt -t mangle -A RTCHARTS_IN -i wan0 -m mark --mark 0x2 -j RETURN
  $ipt -t mangle -A RTCHARTS_OUT -o wan0 -d 192.0.2.1 -j RETURN
  for ifname in wan0 lan0 lan1 dmz0; do
    $ipt -t mangle -A RTCHARTS_IN -i $ifname -j RETURN
    $ipt -t mangle -A RTCHARTS_OUT -o $ifname -j RETURN
  done
}

dropchains() {
  $1 -t mangle -F
  $1 -t mangle -X
}

# A PATH directory whose iptables is the chosen backend.
backendpath() {
  mkdir -p "$work/path-$1"
  ln -sf "$(command -v iptables-$1)" "$work/path-$1/iptables"
  echo "$work/path-$1:$PATH"
}

# Optional arguments run before the program, e.g. env VAR=value.
startdaemon() {
  rm -f "$work/out/"*
  "$@" "$work/bin/byteloom" >>"$work/daemon.log" 2>&1 &
  daemonpid=$!
  started="$started $daemonpid"
}

startcloop() {
  "$@" "$tools/byteloom_cloop" "iptables -t mangle -xvnL -Z RTCHARTS_IN && iptables -t mangle -xvnL -Z RTCHARTS_OUT" \
    "$work/out/cloop-rate" "$work/out/cloop-today" $interfaces 500 >/dev/null 2>&1 &
  clooppid=$!
  started="$started $clooppid"
}

# The daemon exits at once when its start-up fails: say why.
checkrunning() {
  kill -0 "$daemonpid" 2>/dev/null && return 0
  echo "run.sh: byteloom stopped:" >&2
  cat "$work/daemon.log" >&2
  exit 1
}

stopall() {
  for pid in $started; do kill "$pid" 2>/dev/null || true; done
  for pid in $started; do wait "$pid" 2>/dev/null || true; done
  started=""
}

field() { # field NAME LINE: the word after NAME
  echo "$2" | awk -v k="$1" '{ for (i = 1; i < NF; i++) if ($i == k) { print $(i + 1); exit } }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2fx", a / b; else print "-" }'; }

echo "byteloom benchmark ($mode), default iptables: $(iptables --version)"

# 1. Parse and match
listing=$(timeout 60 "$tools/daemonbench" listing $rounds)

# 2. CPU and memory, side by side; the C loop wakes half a second later.
defaultipt=$(readlink -f "$(command -v iptables)")
makechains iptables
startdaemon
startcloop
sleep $warmup
checkrunning
cycles=$(timeout $((window + 10)) "$tools/daemonbench" cycles $window $daemonpid $clooppid)
stopall
daemonline=$(echo "$cycles" | grep "^pid $daemonpid ")
cloopline=$(echo "$cycles" | grep "^pid $clooppid ")

# 3. Allocations per steady-state cycle
preload="LD_PRELOAD=$tools/liballocount.so ALLOCOUNT_WARMUP=$warmup"
startdaemon env $preload ALLOCOUNT_OUT="$work/allocs-daemon"
startcloop env $preload ALLOCOUNT_OUT="$work/allocs-cloop"
sleep $((warmup + alloccycles))
stopall
allocdaemon=$(cat "$work/allocs-daemon")
alloccloop=$(cat "$work/allocs-cloop")
dropchains iptables

# 4. Backends: listing command time and bytes lost under load
loadcount=$((loadseconds * loadrate))
for backend in nft legacy; do
  makechains iptables-$backend
  bpath=$(backendpath $backend)
  # iptables-nft warns on standard error that legacy tables exist; the daemon ignores it too.
  cmd=$(PATH=$bpath timeout 120 "$tools/daemonbench" cmdtime $cmdruns 2>/dev/null)
  startdaemon env PATH="$bpath"
  sleep 2
  checkrunning
  load=$(timeout $((loadseconds * 2 + 10)) "$tools/byteloom_loopload" $port $loadcount $loadrate $payload)
  sleep 2.5
  today=$(cat "$work/out/today")
  stopall
  dropchains iptables-$backend
  sent=$(field ipbytes "$load")
  counted_in=$(field lo "$today")
  counted_out=$(echo "$today" | awk '{ print $3 }')
  eval "cmd_$backend=\"$cmd\" sent_$backend=$sent packets_$backend=$(field sent "$load")"
  eval "lostin_$backend=$((sent - counted_in)) lostout_$backend=$((sent - counted_out))"
done

# 5. The five-minute file, in-process, through the daemon's own code
mkdir -p "$work/fivemin"
fivemin=$(timeout 300 "$tools/fiveminbench" "$work/fivemin" $thinrounds)

parse=$(field parse_us "$listing") scan=$(field scan_us "$listing")
dcpu=$(field cpu_us_per_cycle "$daemonline") ccpu=$(field cpu_us_per_cycle "$cloopline")
dmem=$(field private_dirty_kb "$daemonline") cmem=$(field private_dirty_kb "$cloopline")
dwake=$(field wakeups_per_cycle "$daemonline") cwake=$(field wakeups_per_cycle "$cloopline")
down=$(field own "$allocdaemon") dlibc=$(field libc "$allocdaemon") dcyc=$(field cycles "$allocdaemon")
cown=$(field own "$alloccloop") clibc=$(field libc "$alloccloop") ccyc=$(field cycles "$alloccloop")
percycle() { # percycle COUNT CYCLES
  awk -v a="$1" -v n="$2" 'BEGIN { if (n > 0) printf "%.1f", a / n; else print "-" }'; }

echo
printf "%-44s %12s %12s %9s  %s\n" "" byteloom "C loop" ratio target
printf "%-44s %12s %12s %9s  %s\n" "CPU per cycle, main thread (us, $window cycles)" "$dcpu" "$ccpu" \
  "$(ratio "$dcpu" "$ccpu")" "<= 1.2x"
printf "%-44s %12s %12s %9s  %s\n" "wakeups per cycle, main thread" "$dwake" "$cwake" \
  "$(ratio "$dwake" "$cwake")" ""
printf "%-44s %12s %12s %9s  %s\n" "heap allocations per cycle, own code" "$(percycle "$down" "$dcyc")" \
  "$(percycle "$cown" "$ccyc")" "" "0"
printf "%-44s %12s %12s %9s  %s\n" "heap allocations per cycle, libc's" "$(percycle "$dlibc" "$dcyc")" \
  "$(percycle "$clibc" "$ccyc")" "" ""
printf "%-44s %12s %12s %9s  %s\n" "private dirty memory (kB)" "$dmem" "$cmem" \
  "$(ratio "$dmem" "$cmem")" "<= 2.5x"
echo
printf "%-44s %12s %12s %9s\n" "" extractbytes "memchr scan" ratio
printf "%-44s %12s %12s %9s\n" "full listing, $(field listing_chars "$listing") chars, $(field rule_lines "$listing") rules (us)" \
  "$parse" "$scan" "$(ratio "$parse" "$scan")"
echo
printf "%-44s %12s %12s %9s\n" "listing command (iptables)" legacy nft nft/legacy
printf "%-44s %12s %12s %9s\n" "time per cycle, median of $cmdruns (ms)" "$(field median_ms "$cmd_legacy")" \
  "$(field median_ms "$cmd_nft")" "$(ratio "$(field median_ms "$cmd_nft")" "$(field median_ms "$cmd_legacy")")"
printf "%-44s %12s %12s\n" "time per cycle, worst (ms)" "$(field max_ms "$cmd_legacy")" "$(field max_ms "$cmd_nft")"
printf "%-44s %12s %12s\n" "datagrams sent ($payload B payload, ${loadrate}/s)" "$packets_legacy" "$packets_nft"
for dir in in out; do
  eval "ll=\$lost${dir}_legacy ln=\$lost${dir}_nft"
  printf "%-44s %12s %12s\n" "datagrams lost, $dir" "$(percycle "$ll" $((payload + 28)))" \
    "$(percycle "$ln" $((payload + 28)))"
done
share() { awk -v a="$(($1 + $2))" -v n="$3" 'BEGIN { printf "%.4f", (n > 0 ? 50 * a / n : 0) }'; }
printf "%-44s %12s %12s\n" "share of bytes lost, in and out (%)" \
  "$(share "$lostin_legacy" "$lostout_legacy" "$sent_legacy")" \
  "$(share "$lostin_nft" "$lostout_nft" "$sent_nft")"
echo "(default iptables here: $defaultipt)"

# The file can't be turned off: a line costs its CPU once every 300 cycles
# and a decision once every 60, so the cycle without the file is the cycle
# measured in 2 less that share, and the cycle that writes a line is the
# measured cycle plus a whole line.
linecpu=$(field line_cpu_us "$fivemin") decision=$(field decision_cpu_us "$fivemin")
without=$(awk -v c="$dcpu" -v l="$linecpu" -v d="$decision" 'BEGIN { printf "%.2f", c - l / 300 - d / 60 }')
writing=$(awk -v c="$dcpu" -v l="$linecpu" 'BEGIN { printf "%.1f", c + l }')
echo
printf "%-44s %12s %12s %9s  %s\n" "five-minute file ($(field labels "$fivemin") labels)" "with" "without" ratio target
printf "%-44s %12s %12s %9s  %s\n" "CPU per cycle, main thread (us)" "$dcpu" "$without" \
  "$(awk -v a="$dcpu" -v b="$without" 'BEGIN { if (b > 0) printf "%.4fx", a / b; else print "-" }')" \
  "<= 1.02x"
printf "%-44s %12s %12s %9s\n" "a cycle that writes a line vs a steady one (us)" "$writing" "$dcpu" \
  "$(ratio "$writing" "$dcpu")"
printf "%-44s %25s\n" "a line: CPU / wall with its sync (us)" "$linecpu / $(field line_wall_us "$fivemin")"
for kind in steady full; do
  printf "%-44s %25s\n" "daily thinning, $kind file: $(field ${kind}_bytes "$fivemin") -> $(field ${kind}_after_bytes "$fivemin") B" \
    "$(field ${kind}_cpu_ms "$fivemin") / $(field ${kind}_wall_ms "$fivemin") ms"
done
echo "(thinning: CPU / wall, median of $thinrounds; steady: 60 hourly and 3 whole dates; full: 63 whole dates)"
