#!/bin/sh
# The hour and five-minute views of the real byteloom-report on files this
# test writes: a finished day with a gap, a bad line and a lost line, a date
# thinned to whole hours, a torn last line and the running hour. Each day's
# hours add up to that day in the day view; JSON is read by a real parser.
# usage: intervals_test.sh BYTELOOM_REPORT
. "$(dirname "$0")/../lib/testlib.sh"
report=$1
make_workdir
command -v python3 >/dev/null || skip "python3 is needed to parse JSON and SVG"

today=$(date +%F)
yesterday=$(date -d "$today -1 day" +%F)
thinned=$(date -d "$today -4 days" +%F)
cd "$work" || exit 1
{
    printf '[%s] wan 9000 900 lan 70 7 \n' "$thinned"
    printf '[%s] wan 5000 500 lan 50 5 \n' "$yesterday"
} > history
{
    # whole hours only; the 01:00 line was lost, so the 00:55 line stands for it
    printf '[%s 00:00] wan 0 0 lan 0 0 \n' "$thinned"
    printf '[%s 00:55] wan 1000 100 lan 10 1 \n' "$thinned"
    printf '[%s 02:00] wan 3000 300 lan 30 3 \n' "$thinned"
    # started at 09:03 with figures from earlier; no line between 10:05 and 13:00
    printf '[%s 09:03] wan 1000 100 lan 10 1 \n' "$yesterday"
    printf '[%s 09:05] wan 1100 110 lan 11 1 \n' "$yesterday"
    printf '[%s 10:00] wan 1500 150 lan 15 1 \n' "$yesterday"
    printf '[%s 10:05] wan 1600 160 lan 16 2 \n' "$yesterday"
    printf '[%s 10:10] wan 1 1 lan 1 1 \n' "$yesterday"
    printf '[%s 13:00] wan 4000 400 lan 40 4 \n' "$yesterday"
    printf '[%s 00:00] wan 0 0 lan 0 0 \n' "$today"
    printf '[%s 00:05] wan 99' "$today"
} > history.5min
printf '[%s] wan 500 50 lan 5 5 \n' "$today" > day
printf 'wan 500 50 lan 5 5 ' > today
printf '1.00 2.00 3.00 4.00 ' > rate
r() { "$report" --rate-file rate --today-file today --day-file day --history-file history "$@"; }
hours() { python3 -c 'import json, sys
v = json.load(open(sys.argv[1]))
print(" ".join("-" if h["traffic"] is None else str(h["traffic"]["wan"]["in"]) for h in v[sys.argv[2]]))' "$@"; }

# A finished day: nothing before its first line, the lost bytes in the next
# line's hour, the bad line named and skipped, the last hour up to the history line.
r --hours --date "$yesterday" --json > out.json 2> err
check "date: status" 0 "$?"
check "date: the hours" "- - - - - - - - - 500 100 0 2400 0 0 0 0 0 0 0 0 0 0 1000" "$(hours out.json hours)"
grep -q "history.5min:8: below line 7 of the same date" err || fail "the bad line is not named: $(cat err)"
grep -q "history.5min:1[0-9]" err && fail "the torn last line is read: $(cat err)"
r --since "$yesterday" --until "$yesterday" --json > day.json 2> /dev/null
check "date: the hours add up to the day, less what came before the first line" \
    "4000 400 True" "$(python3 -c 'import json
h = json.load(open("out.json"))["total"]["wan"]; d = json.load(open("day.json"))["days"][0]["traffic"]["wan"]
print(h["in"], h["out"], d["in"] - h["in"] == 1000 and d["out"] - h["out"] == 100)')"

# A thinned date: its hours, but no five-minute figures.
r --hours --date "$thinned" --json > out.json 2> /dev/null
check "thinned: the hours" "1000 2000 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 6000" "$(hours out.json hours)"
r --since "$thinned" --until "$thinned" --json > day.json 2> /dev/null
check "thinned: the hours add up to the day" \
    "$(python3 -c 'import json; print(json.load(open("day.json"))["days"][0]["traffic"])')" \
    "$(python3 -c 'import json; print(json.load(open("out.json"))["total"])')"
r --fiveminutes --date "$thinned" --json > out.json 2> /dev/null
check "thinned: no five-minute figures" "0" "$(python3 -c 'import json
print(sum(1 for i in json.load(open("out.json"))["fiveminutes"] if i["traffic"] is not None))')"

# The running hour counts up to the today file; the hours before it since midnight are 0.
r --hours 3 --json > out.json 2> /dev/null
check "running: the last hour" "500 True" "$(python3 -c 'import json
h = json.load(open("out.json"))["hours"][-1]; print(h["traffic"]["wan"]["in"], h["running"])')"
r --fiveminutes --json > out.json 2> /dev/null
check "running: twelve five-minute intervals" "12 True" "$(python3 -c 'import json
f = json.load(open("out.json"))["fiveminutes"]; print(len(f), f[-1]["running"])')"

# The table shows "-" where there is no figure; labels as the day view's.
r --hours --date "$yesterday" --label lan > out 2> err
check "table: the first row" "$yesterday 00:00       -    -" "$(sed -n 3p out)"
check "table: the total" "total               40 B  4 B" "$(tail -n 1 out)"
r --hours --label dmz > out 2> err
grep -q "no figures for label 'dmz'" err || fail "an unknown label is not named: $(cat err)"
r --hours --svg chart.svg 2> /dev/null
python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' chart.svg ||
    fail "the hours' chart is not well-formed XML"
grep -q "Hourly traffic per label" chart.svg || fail "the chart has no title"

# No file yet: nothing to show, and no complaint about it.
rm history.5min
r --hours > out 2> err
check "no file: status" 1 "$?"
check "no file: only nothing to show" "byteloom-report: no figures to show" "$(cat err)"
r --hours --date 2026-02-30 > out 2> err
check "a date that does not exist: status" 2 "$?"
finish
