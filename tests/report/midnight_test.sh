#!/bin/sh
# The moment of the daemon's day change between its appending the finished
# day to the history and its rewriting the today and day files: the history
# already holds the day file's date while the today file still holds that
# day's figures. The finished day counts once, and every view shows what it
# shows once the day change is done.
# usage: midnight_test.sh BYTELOOM_REPORT FAKETIME_LIBRARY
. "$(dirname "$0")/../lib/testlib.sh"
report=$1 faketime=$2
make_workdir
command -v python3 >/dev/null || skip "python3 is needed to parse JSON"
cd "$work" || exit 1

[ -n "$faketime" ] && [ -e "$faketime" ] || skip "libfaketime is needed to hold the report's clock"
# The clock held at one moment, so the running month's estimate is the same
# in every view. The library preloaded directly: the faketime wrapper needs
# POSIX semaphores, which a confined /dev/shm may refuse.
r() {
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0" \
    LD_PRELOAD="$faketime" FAKETIME='2026-12-09 06:00:00' \
        "$report" --rate-file rate --today-file today --day-file day --history-file history "$@"
}
views() {
    { r --json --days 2; r --months --json; r --oneline; r --days 2; } 2> /dev/null
}

finished=2026-12-08
today=2026-12-09
printf '[%s] wan 300 400 \n' "$finished" > history
: > rate
# The moment: the day file still dated with the finished day, written before
# the today file as the daemon writes them.
printf '[%s] wan 300 400 ' "$finished" > day
printf 'wan 300 400 ' > today
views > moment

r --json --days 2 > out.json 2> err
status=$?
[ "$status" = 0 ] || cat err >&2
check "days: status" 0 "$status"
check "days: the finished day once, today without its figures" \
    "$finished 300 400 | $today True 0 0 | total 300 400" "$(python3 -c '
import json; v = json.load(open("out.json")); d = v["days"]
print(d[0]["date"], d[0]["traffic"]["wan"]["in"], d[0]["traffic"]["wan"]["out"], "|",
      d[1]["date"], d[1]["today"], d[1]["traffic"]["wan"]["in"], d[1]["traffic"]["wan"]["out"], "|",
      "total", v["total"]["wan"]["in"], v["total"]["wan"]["out"])')"
r --months --json > out.json 2> /dev/null
check "months: the total counts the finished day once" "300 400" "$(python3 -c '
import json; t = json.load(open("out.json"))["total"]["wan"]; print(t["in"], t["out"])')"
month="300;400;700"
check "oneline: today nothing yet, the month and all time the finished day once" \
    "wan;$today;0;0;0;$month;300;400;700" "$(r --oneline 2> /dev/null)"

# Once the daemon has rewritten the today file and the day file, every view
# is what it was at the moment.
printf '[%s] wan 0 0 ' "$today" > day
printf 'wan 0 0 ' > today
views > after
check "the moment's views are those after the day change" "$(cat after)" "$(cat moment)"
finish
