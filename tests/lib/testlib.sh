# Helpers sourced by the shell tests of the installation and its scripts.

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

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
}
