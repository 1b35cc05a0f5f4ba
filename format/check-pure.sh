#!/bin/sh
# format/ stays pure: no header for files, streams, processes, threads or
# the clock in its library sources (its tests may use what they like).
# usage: check-pure.sh FORMAT_DIR
cd "$1" || exit 1
found=$(grep -nE '#include <(cstdio|stdio\.h|fstream|iostream|filesystem|thread|mutex|unistd\.h|fcntl\.h|spawn\.h|signal\.h|csignal|sys/[a-z]+\.h|dirent\.h)>' \
    $(ls *.h *.cpp | grep -v '_test\.cpp$'))
clock=$(grep -nE '\b(time|clock_gettime|localtime|localtime_r|gettimeofday)\(|system_clock|steady_clock' \
    $(ls *.h *.cpp | grep -v '_test\.cpp$'))
if [ -n "$found$clock" ]; then
    echo "format/ must stay pure:"
    printf '%s\n' "$found" "$clock"
    exit 1
fi
echo "format/ is pure"
