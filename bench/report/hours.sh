#!/bin/sh
# usage: bench/report/hours.sh [BUILD_DIR] [REPS]
# Builds a full five-minute file (62 days of 16 labels: whole hours for the
# older dates, five-minute lines for the last two and today up to now) with
# its history, and times, in the same run and on the same files,
# byteloom-report --hours --json against mawk summing the same lines per
# hour. Prints the medians and the ratio to mawk.
set -e
build=$(cd "${1:-build}" && pwd)
reps=${2:-31}
report=$build/report/byteloom-report
bench=$build/bench/report/reportbench
awk=$(command -v mawk) || { echo "hours.sh: mawk is needed (scripts/setup.sh installs it)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The dates, oldest first, and the minutes of today passed.
seq 62 -1 0 | while read -r ago; do date -d "-$ago days" +"%F $ago"; done > "$work/dates"
now=$(( $(date +%-H) * 60 + $(date +%-M) ))
"$awk" -v now="$now" -v history="$work/history" 'BEGIN { srand(7) } {
    date = $1; ago = $2
    step = ago > 2 ? 60 : 5
    last = ago == 0 ? now - now % 5 : 1435
    for (l = 0; l < 16; l++) { inb[l] = 0; outb[l] = 0 }
    for (m = 0; m <= last; m += step) {
        line = sprintf("[%s %02d:%02d]", date, int(m / 60), m % 60)
        for (l = 0; l < 16; l++) {
            line = line sprintf(" label%02d %.0f %.0f", l, inb[l], outb[l])
            inb[l] += int(rand() * 1e9 * step); outb[l] += int(rand() * 1e8 * step)
        }
        print line " "
    }
    if (ago > 0) {
        line = "[" date "]"
        for (l = 0; l < 16; l++) line = line sprintf(" label%02d %.0f %.0f", l, inb[l], outb[l])
        print line " " > history
    } else {
        line = ""
        for (l = 0; l < 16; l++) line = line sprintf("label%02d %.0f %.0f ", l, inb[l], outb[l])
        printf "%s", line > (history ".today")
    }
}' "$work/dates" > "$work/history.5min"
mv "$work/history.today" "$work/today"
printf '[%s] %s\n' "$(date +%F)" "$(cat "$work/today")" > "$work/day"
printf '0.00 0.00 ' > "$work/rate"
files="--rate-file $work/rate --today-file $work/today --day-file $work/day --history-file $work/history"

# The same lines, summed per label and hour: the baseline.
cat > "$work/hours.awk" <<'AWK'
{
    hour = substr($1, 2, 10) " " substr($2, 1, 2)
    for (i = 3; i + 2 <= NF; i += 3) {
        inb[hour, $i] += $(i + 1)
        outb[hour, $i] += $(i + 2)
    }
}
END { for (k in inb) print k, inb[k], outb[k] }
AWK

echo "five-minute file: $(wc -l < "$work/history.5min") lines, $(wc -c < "$work/history.5min") bytes, 16 labels; $(dpkg-query -W -f='${Package} ${Version}' mawk 2>/dev/null || echo mawk); $reps runs each"
# shellcheck disable=SC2086
"$bench" "$reps" \
    -- "byteloom-report --hours --json" "$report" --hours --json $files \
    -- "byteloom-report --hours 1512 --json" "$report" --hours 1512 --json $files \
    -- "mawk sums per hour" "$awk" -f "$work/hours.awk" "$work/history.5min"
