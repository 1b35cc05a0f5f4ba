# Helpers sourced by every shell system test (tests/<product>/*.sh).
testlib_dir=$(CDPATH= cd -- "$(dirname -- "$0")/../lib" 2>/dev/null && pwd)
. "$testlib_dir/daemonsetup.sh"

failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# check NAME EXPECTED ACTUAL
check() {
    if [ "$2" != "$3" ]; then
        fail "$1"
        printf '  expected: %s\n  actual:   %s\n' "$2" "$3" >&2
    fi
}

skip() {
    echo "SKIP: $*"
    exit 77
}

needroot() {
    [ "$(id -u)" -eq 0 ] || skip "needs root for iptables in a private network namespace"
    unshare -n true 2>/dev/null || skip "cannot create a network namespace (unshare -n)"
}

# innetns "$@": runs the calling test script again, as root, in a private
# network namespace, so its iptables rules never touch the host's.
innetns() {
    [ -z "${BYTELOOM_TEST_NETNS:-}" ] || return 0
    needroot
    BYTELOOM_TEST_NETNS=1 exec unshare -n sh "$0" "$@"
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
}

# checkunit UNITFILE MAXEXPOSURE: systemd-analyze verifies the unit file and
# scores its exposure at most MAXEXPOSURE.
checkunit() {
    out=$(systemd-analyze verify --man=no "$1" 2>&1)
    check "systemd-analyze verify $(basename "$1")" "0:" "$?:$out"
    score=$(systemd-analyze security --offline=true "$1" 2>&1 |
        sed -n "s/.*Overall exposure level for $(basename "$1"): \([0-9.]*\).*/\1/p")
    echo "exposure level of $(basename "$1"): $score"
    [ -n "$score" ] || { fail "systemd-analyze security gave no score"; return; }
    awk -v score="$score" -v most="$2" 'BEGIN { exit !(score <= most) }' ||
        fail "exposure level $score is over $2"
}

# fake_iptables DIR: installs the fake iptables as DIR/iptables and
# DIR/ip6tables; they serve the listings queued in DIR/../listings and
# DIR/../listings6 (see fake-iptables.sh).
fake_iptables() {
    mkdir -p "$1" "$1/../listings"
    for program in iptables ip6tables; do
        cp "$testlib_dir/fake-iptables.sh" "$1/$program"
        chmod +x "$1/$program"
    done
}

# wait_for_file FILE [TEXT] [SECONDS]: waits until FILE is not empty (or holds
# exactly TEXT); false after SECONDS (default 10).
wait_for_file() {
    tries=$(( ${3:-10} * 20 ))
    while [ "$tries" -gt 0 ]; do
        if [ -s "$1" ] && { [ -z "${2:-}" ] || [ "$(cat "$1")" = "$2" ]; }; then return 0; fi
        tries=$((tries - 1))
        sleep 0.05
    done
    return 1
}

# make_workdir: sets work to a new temporary directory that is removed at
# exit, after the process whose id is in pid (if any) is killed.
make_workdir() {
    work=$(mktemp -d)
    pid=""
    trap 'if [ -n "$pid" ]; then kill "$pid" 2>/dev/null; fi; rm -rf "$work"' EXIT
}
