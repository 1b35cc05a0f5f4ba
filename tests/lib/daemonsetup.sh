# Shell functions that set byteloom up to run: its start-up script, and real
# accounting chains on loopback inside a private network namespace. Sourced by
# the shell tests (through testlib.sh), the benchmarks and the demo.

# write_startup_script FILE SPECS LABELS FILESDIR: a start-up script that
# prints the six lines, with the four files rate, today, day and history in
# FILESDIR.
write_startup_script() {
    cat > "$1" <<SCRIPT
#!/bin/sh
echo '$2'
echo '$4/rate'
echo '$4/today'
echo '$4/day'
echo '$4/history'
echo '$3'
SCRIPT
    chmod +x "$1"
}

# install_daemon BYTELOOM DIR SPECS LABELS [FILESDIR]: copies the daemon into
# DIR beside a start-up script that accounts SPECS as LABELS and puts the four
# files in FILESDIR (DIR when not given).
install_daemon() {
    cp "$1" "$2/byteloom"
    write_startup_script "$2/getbyteloomheaders.sh" "$3" "$4" "${5:-$2}"
}

# loopbackchains [PROGRAM] [MATCH...]: brings lo up and creates the accounting
# chains of PROGRAM (iptables by default; ip6tables for IPv6), jumped to from
# PREROUTING and POSTROUTING, with one RETURN rule each for lo; MATCH narrows
# both rules.
loopbackchains() {
    program=iptables
    case ${1:-} in iptables*|ip6tables*) program=$1; shift ;; esac
    ip link set lo up
    for chain in RTCHARTS_IN RTCHARTS_OUT; do "$program" -t mangle -N $chain; done
    "$program" -t mangle -A PREROUTING -j RTCHARTS_IN
    "$program" -t mangle -A POSTROUTING -j RTCHARTS_OUT
    "$program" -t mangle -A RTCHARTS_IN -i lo "$@" -j RETURN
    "$program" -t mangle -A RTCHARTS_OUT -o lo "$@" -j RETURN
}

# loopbackdaemon BYTELOOM DIR [FILESDIR]: install_daemon accounting lo as
# "loopback".
loopbackdaemon() {
    install_daemon "$1" "$2" lo loopback "${3:-$2}"
}
