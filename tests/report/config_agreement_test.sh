#!/bin/sh
# The report and the daemon learn their setup from the same start-up script:
# for good and bad configurations both must refuse, or both accept with the
# same paths and labels. The real daemon runs beside a copy of the script with
# a fake iptables; the report runs the script with --config. The daemon's
# paths are seen in its files (the rate and today files it writes, the day
# file it replaces, the history it appends a left-over day to), its labels in
# the today file; the report must show those very files' figures.
# Needs neither root nor a network.
# usage: config_agreement_test.sh BYTELOOM BYTELOOM_REPORT STARTUP_SCRIPT
. "$(dirname "$0")/../lib/testlib.sh"
daemon=$1 report=$2 script=$3
make_workdir
command -v python3 >/dev/null || skip "python3 is needed to read the report's JSON"

mkdir -p "$work/bin"
cp "$daemon" "$work/bin/byteloom"
cp "$script" "$work/bin/getbyteloomheaders.sh"
fake_iptables "$work/fakebin"
yesterday=$(date -d '-1 day' +%F)
files=$work/files

# The six files of one case start afresh; the day file holds a day that the
# history lacks, so the daemon appends it there at start.
freshfiles() {
    rm -rf "$files" && mkdir -p "$files/run" "$files/lib"
}

# daemonrun CONF: runs the daemon on CONF until its first cycle is written,
# then stops it; sets daemonstatus and daemonlabels (from its today file).
daemonrun() {
    BYTELOOM_CONF=$1 PATH="$work/fakebin:$PATH" "$work/bin/byteloom" >"$work/daemon.out" 2>"$work/daemon.err" &
    pid=$!
    tries=0
    while kill -0 "$pid" 2>/dev/null && [ ! -s "$todayfile" ] && [ $tries -lt 200 ]; do
        tries=$((tries + 1))
        sleep 0.05
    done
    if kill -0 "$pid" 2>/dev/null; then
        sleep 0.2
        kill -TERM "$pid" 2>/dev/null
    fi
    wait "$pid"
    daemonstatus=$?
    pid=""
    daemonlabels=$(awk '{ for (i = 1; i <= NF; i += 3) printf "%s%s", (i > 1 ? " " : ""), $i }' "$todayfile" 2>/dev/null)
}

# reportrun CONF: the report's JSON view and one live refresh on CONF.
reportrun() {
    "$report" --config "$1" --startup-script "$script" --json >"$work/report.json" 2>"$work/report.err"
    reportstatus=$?
    "$report" --config "$1" --startup-script "$script" --live --count 1 --json >"$work/live.json" 2>/dev/null
}

# What the report's JSON says, one word per line: the labels, then the
# figures of yesterday (from the history) and today (the running day).
reportfigures() {
    python3 - "$work/report.json" "$work/live.json" "$yesterday" <<'PY'
import json, sys
report = json.load(open(sys.argv[1]))
live = json.loads(open(sys.argv[2]).readline())
days = {d["date"]: d for d in report["days"]}
yesterday = days.get(sys.argv[3], {}).get("traffic") or {}
today = [d for d in report["days"] if d["today"]]
print(" ".join(report["labels"]))
print(" ".join("%s=%d/%d" % (k, v["in"], v["out"]) for k, v in yesterday.items()))
print("today" if today else "no today")
print(" ".join(live["rates"].keys()))
PY
}

# setting KEY: the value of KEY= in the configuration.
setting() {
    sed -n "s/^$1[[:space:]]*=[[:space:]]*//p" "$work/byteloom.conf"
}

# agree NAME CONF-TEXT: writes the configuration and checks the agreement.
agree() {
    name=$1
    printf '%s\n' "$2" > "$work/byteloom.conf"
    freshfiles
    todayfile=$(setting TODAY_FILE)
    todayfile=${todayfile:-/nonexistent/today}
    dayfile=$(setting DAY_FILE)
    firstlabel=$(awk '{ sub(/#.*/, "") } $0 !~ /=/ && NF == 2 { print $2; exit }' "$work/byteloom.conf")
    [ -n "$dayfile" ] && printf '[%s] %s 1234 5678 \n' "$yesterday" "$firstlabel" > "$dayfile"
    daemonrun "$work/byteloom.conf"
    reportrun "$work/byteloom.conf"
    if [ "$daemonstatus" -ne 0 ]; then
        check "$name: the daemon refused, the report must too" 2 "$reportstatus"
        grep -q "^ERROR\. " "$work/daemon.out" || fail "$name: daemon ended with $daemonstatus but no ERROR line"
        reason=$(grep '^byteloom: ' "$work/daemon.err" | head -n 1)
        [ -s "$work/report.err" ] || fail "$name: the report refused without a reason"
        [ -z "$reason" ] || grep -qF "$reason" "$work/report.err" ||
            fail "$name: the report does not show the reason '$reason': $(cat "$work/report.err")"
        return
    fi
    check "$name: the daemon accepted, the report must too" 0 "$reportstatus"
    [ "$reportstatus" -eq 0 ] || { cat "$work/report.err" >&2; return; }
    figures=$(reportfigures)
    check "$name: labels" "$daemonlabels" "$(echo "$figures" | sed -n 1p)"
    check "$name: the history the daemon appended to" "$firstlabel=1234/5678" "$(echo "$figures" | sed -n 2p)"
    check "$name: the today file" "today" "$(echo "$figures" | sed -n 3p)"
    check "$name: the rate file" "$daemonlabels" "$(echo "$figures" | sed -n 4p)"
    grep -q "^\[$(date +%F)\] " "$dayfile" || fail "$name: the daemon did not write its day file"
}

paths="RATE_FILE=$files/run/rate
TODAY_FILE=$files/run/today
DAY_FILE=$files/lib/day
HISTORY_FILE=$files/lib/history"

agree "two interfaces" "eth0 wan
eth1 lan
$paths"
agree "comments, tabs, a qualified line" "# uplinks
eth0:0x2:10.8.0.0/16	vpn   # marked traffic
eth0 wan
$(echo "$paths" | sed 's/=/ = /')"
agree "UTF-8 and punctuation in labels" "eth0 $(printf 'd\303\251bit-\342\202\254;x')
ppp0 a&b<c>\"q\"
$paths"
agree "a label of 255 bytes" "eth0 $(printf '%0255d' 7)
$paths"

agree "unknown setting" "eth0 wan
LOG_FILE=/tmp/x
$paths"
agree "relative path" "eth0 wan
RATE_FILE=run/rate"
agree "label used twice" "eth0 wan
eth1 wan
$paths"
agree "mark not as iptables lists it" "eth0:0x02:10.0.0.1 wan
$paths"
agree "host bits set" "eth0:0x2:10.0.0.1/8 wan
$paths"
agree "catch-all before its qualified line" "eth0 wan
eth0:0x2:10.8.0.1 vpn
$paths"
agree "no interface" "$paths"
agree "the same file twice" "eth0 wan
$(echo "$paths" | sed "s|$files/lib/day|$files/run/today|")"
agree "interface name of 16 characters" "eth0123456789abc wan
$paths"
agree "label of 256 bytes" "eth0 $(printf '%0256d' 7)
$paths"

# The daemon takes at most 16382 characters from the script: a configuration
# whose output is one character longer is refused by both.
sized() {
    python3 - "$1" "$files" <<'PY'
import sys
size, files = int(sys.argv[1]), sys.argv[2]
paths = ["%s/run/rate" % files, "%s/run/today" % files, "%s/lib/day" % files, "%s/lib/history" % files]
names = ["e%d" % i for i in range(70)]
labels = ["L%03d" % i + "x" * 200 for i in range(70)]
def length():
    return len(" ".join(names)) + 1 + sum(len(p) + 1 for p in paths) + len(" ".join(labels)) + 1
missing = size - length()
for i in range(len(labels)):
    grow = min(missing, 255 - len(labels[i]))
    labels[i] += "y" * grow
    missing -= grow
assert missing == 0 and length() == size
for name, label in zip(names, labels):
    print(name, label)
for key, path in zip(["RATE_FILE", "TODAY_FILE", "DAY_FILE", "HISTORY_FILE"], paths):
    print("%s=%s" % (key, path))
PY
}
agree "output of 16382 characters" "$(sized 16382)"
agree "output of 16383 characters" "$(sized 16383)"
[ "$daemonstatus" -ne 0 ] || fail "the daemon took 16383 characters"

# A configuration file that can't be read is refused by the script itself.
rm -f "$work/byteloom.conf"
"$report" --config "$work/byteloom.conf" --startup-script "$script" --json >/dev/null 2>"$work/report.err"
check "unreadable configuration: report status" 2 "$?"
grep -q "cannot read the configuration file" "$work/report.err" || fail "unreadable configuration: no reason shown"
finish
