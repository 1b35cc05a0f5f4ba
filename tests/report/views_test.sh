#!/bin/sh
# The views of the real byteloom-report on files this test writes: exit
# statuses, the --oneline fields, JSON read by a real JSON parser, SVG by an
# XML parser, no escape sequence reaching the terminal, wide sums, the window
# ending today, a line dated in the future.
# usage: views_test.sh BYTELOOM_REPORT STARTUP_SCRIPT
. "$(dirname "$0")/../lib/testlib.sh"
report=$1 script=$2
make_workdir
command -v python3 >/dev/null || skip "python3 is needed to parse JSON and SVG"

today=$(date +%F)
first=$(date +%Y-%m-01)
lastmonth=$(date -d "$first -1 day" +%F)
old=$(date -d "$first -40 days" +%F)
max=9223372036854775807
esc=$(printf '\033')
nasty=$(printf 'x\033[2J\033]0;owned\007\377y')

cd "$work" || exit 1
{
    printf '[%s] wan 100 200 lan 1 2 \n' "$old"
    printf '[%s] wan %s %s \n' "$lastmonth" "$max" "$max"
    printf '[%s] wan %s 1 %s 5 6 \n' "$lastmonth" "$max" "$nasty"
    [ "$first" != "$today" ] && printf '[%s] wan 1000 2000 lan 10 20 \n' "$first"
    printf '[2999-01-01] wan 7 7 \n'
} > history
printf '[%s] wan 40 60 lan 3 4 \n' "$today" > day
printf 'wan 40 60 lan 3 4 ' > today
printf '1.50 2.00 nan 1.00 ' > rate
r() { "$report" --rate-file rate --today-file today --day-file day --history-file history "$@"; }
# the history line of the month's first day counts in this month, unless that is today
if [ "$first" != "$today" ]; then monthwan="1040;2060;3100" monthlan="13;24;37"; else monthwan="40;60;100" monthlan="3;4;7"; fi

# The days: the window ends today, the future line is named and marked.
r --days 3 > out 2> err
check "days: status" 0 "$?"
check "days: the last row is today" "$today today" "$(grep -o "^$today today" out)"
grep -q "^2999-01-01 future" out || fail "days: the future line is not shown marked"
grep -q "history:5: dated 2999-01-01, after today ($today); shown marked, counted in no total" err ||
    grep -q "history:4: dated 2999-01-01" err || fail "days: the future line is not named: $(cat err)"
grep -q "rate" err && fail "days: the rate file is not read by the day view"
# The future line lies below the total, and in JSON apart from the window,
# whose last entry a script takes for today.
check "days: the future line below the total" "2999-01-01 future" "$(tail -n 1 out | cut -c1-17)"
r --days 4 --json > out.json 2> /dev/null
check "days: JSON window, last day, future apart" "4 $today True 2999-01-01" "$(python3 -c '
import json; v = json.load(open("out.json"))
print(len(v["days"]), v["days"][-1]["date"], v["days"][-1]["today"], v["future"][0]["date"])')"

# Exact wide sums in JSON, read by a real parser.
r --years --json > out.json 2> /dev/null
python3 -m json.tool out.json > /dev/null || fail "years: invalid JSON"
allwan=$(python3 -c 'import json,sys; t=json.load(open("out.json"))["total"]["wan"]; print(t["in"], t["out"])')
if [ "$first" != "$today" ]; then expect="18446744073709552754 9223372036854778068"; else expect="18446744073709551754 9223372036854776068"; fi
check "years: exact all-time sums" "$expect" "$allwan"

# Every JSON view parses, whatever the labels hold.
for view in "" "--months" "--months 2" "--top 3" "--since $old --until $lastmonth" "--live --count 1"; do
    # shellcheck disable=SC2086
    r $view --json > out.json 2> err
    python3 -m json.tool out.json > /dev/null || fail "JSON of '$view' does not parse: $(head -c 300 out.json)"
    grep -q "$esc" out.json && fail "JSON of '$view' holds an escape character"
done
r --months --json --label "$nasty" > out.json 2> /dev/null
check "months: the label's bytes replaced and escaped" '["x\u001b[2J\u001b]0;owned\u0007\ufffdy"]' \
    "$(python3 -c 'import json; print(json.dumps(json.load(open("out.json"))["labels"]))')"

# Every chart is well-formed XML.
for view in "" "--months" "--years"; do
    # shellcheck disable=SC2086
    r $view --svg chart.svg 2> /dev/null
    python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' chart.svg ||
        fail "SVG of '$view' is not well-formed XML"
done

# No escape sequence reaches the terminal, from any view or message.
for view in "" "--months" "--years" "--top" "--oneline" "--live --count 1" "--label $nasty"; do
    # shellcheck disable=SC2086
    r $view > out 2> err
    cat out err | grep -q "$esc" && fail "'$view' lets an escape character through"
done
r --years > out 2> /dev/null
grep -qF 'x\x1b[2J\x1b]0;owned\x07\xffy' out || fail "years: the label is not shown escaped: $(cat out)"
printf 'eth0 %s x\n' "$nasty" > bad.conf
"$report" --config bad.conf --startup-script "$script" > out 2> err
check "refused configuration: status" 2 "$?"
grep -q "$esc" err && fail "the start-up script's complaint lets an escape character through"
grep -qF 'x\x1b[2J' err || fail "the start-up script's complaint is not shown: $(cat err)"
r --live --count 1 > out 2> err
grep -q "rate:1: 'nan' is not a rate" err || fail "a NaN rate is not named: $(cat err)"

# --oneline: eleven fields per label, exact bytes, a stable order.
r --oneline --label wan --label lan > out 2> /dev/null
check "oneline: status" 0 "$?"
check "oneline: fields" "wan;$today;40;60;100;$monthwan;$(python3 -c "
w=100+$max*2+$( [ "$first" != "$today" ] && echo 1000 || echo 0 )+40
o=200+$max+1+$( [ "$first" != "$today" ] && echo 2000 || echo 0 )+60
print('%d;%d;%d' % (w, o, w + o))")
lan;$today;3;4;7;$monthlan;$( [ "$first" != "$today" ] && echo "14;26;40" || echo "4;6;10")" "$(cat out)"

# --alert: 3 and one line over the limit, 0 and nothing under it.
r --alert 99 --period day > out 2> /dev/null
check "alert over: status" 3 "$?"
check "alert over: line" "day $today total 107 B exceeds 99 B (107 > 99 bytes)" "$(cat out)"
r --alert 107 --period day --label wan --label lan > out 2> /dev/null
check "alert at the limit: status" 0 "$?"
check "alert at the limit: nothing printed" "" "$(cat out)"
r --alert 1TB --direction in --label lan > out 2> /dev/null
check "alert under: status" 0 "$?"

# Usage errors say what is wrong; nothing to show is 1.
for bad in "--top 0" "--days -1" "--since 2026-02-30" "--alert GB" "--alert 5GB --period week" "--json --oneline"; do
    # shellcheck disable=SC2086
    r $bad > out 2> err
    check "'$bad': status" 2 "$?"
    head -n 1 err | grep -q "^byteloom-report: --" || fail "'$bad': no reason given: $(head -n 1 err)"
done
: > empty
"$report" --rate-file empty --today-file empty --day-file empty --history-file empty > out 2> err
check "nothing to show: status" 1 "$?"
"$report" --rate-file empty --today-file empty --day-file empty --history-file empty --alert 1 > out 2> err
check "alert on nothing: status" 1 "$?"
finish
