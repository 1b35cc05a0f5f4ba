#!/bin/sh
# promtool checks the fleet's rules and runs their unit tests (an exporter
# restart, missed scrapes, midnight, a month's end, the alerts).
# usage: rules_test.sh RULES TESTS
. "$(dirname "$0")/../lib/testlib.sh"
command -v promtool >/dev/null || skip "promtool is not installed"
out=$(promtool check rules "$1" 2>&1) || fail "promtool check rules: $out"
out=$(promtool test rules "$2" 2>&1) || fail "promtool test rules: $out"
finish
