#!/bin/sh
# usage: bench/report/run.sh [BUILD_DIR] [REPS]
# Builds a ten-year history with 16 labels and times, in the same run and on
# the same file, byteloom-report --months --json (all paths given with the
# --*-file options, so no start-up script runs) against an awk program that
# sums the same columns per month. Prints the medians and the ratio to awk.
set -e
build=$(cd "${1:-build}" && pwd)
reps=${2:-31}
report=$build/report/byteloom-report
bench=$build/bench/report/reportbench
awk=$(command -v mawk || command -v gawk || command -v awk)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 3653 finished days up to yesterday, 16 labels, counts up to about 10^12.
first=$(date -d '-3653 days' +%s)
awk -v first="$first" 'BEGIN {
    srand(7)
    for (d = 0; d < 3653; d++) {
        line = strftime("[%Y-%m-%d]", first + d * 86400 + 43200)
        for (l = 0; l < 16; l++)
            line = line sprintf(" label%02d %d %d", l, int(rand() * 1e12), int(rand() * 1e11))
        print line " "
    }
}' > "$work/history" 2>/dev/null || {
    # mawk has no strftime: the dates come from date(1) instead.
    seq 0 3652 | while read -r d; do date -d "@$((first + d * 86400 + 43200))" +%F; done > "$work/dates"
    awk 'BEGIN { srand(7) } {
        line = "[" $1 "]"
        for (l = 0; l < 16; l++)
            line = line sprintf(" label%02d %d %d", l, int(rand() * 1e12), int(rand() * 1e11))
        print line " "
    }' "$work/dates" > "$work/history"
}
printf '[%s] label00 5 6 \n' "$(date +%F)" > "$work/day"
printf 'label00 5 6 ' > "$work/today"
printf '0.00 0.00 ' > "$work/rate"
files="--rate-file $work/rate --today-file $work/today --day-file $work/day --history-file $work/history"

# The same columns, summed per month: the baseline.
cat > "$work/months.awk" <<'AWK'
{
    month = substr($1, 2, 7)
    for (i = 2; i + 2 <= NF; i += 3) {
        inb[month, $i] += $(i + 1)
        outb[month, $i] += $(i + 2)
    }
}
END { for (k in inb) print k, inb[k], outb[k] }
AWK

echo "history: $(wc -l < "$work/history") lines, $(wc -c < "$work/history") bytes, 16 labels; awk: $awk ($(dpkg-query -W -f='${Package} ${Version}' "$(basename "$awk")" 2>/dev/null || echo unknown)); $reps runs each"
# shellcheck disable=SC2086
"$bench" "$reps" \
    -- "byteloom-report --months --json" "$report" --months --json $files \
    -- "byteloom-report --months 120 --json" "$report" --months 120 --json $files \
    -- "$(basename "$awk") sums per month" "$awk" -f "$work/months.awk" "$work/history"
