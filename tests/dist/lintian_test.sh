#!/bin/sh
# Debian's package checker on every built package: no error and no warning
# (each one the packaging keeps carries an override with its reason).
# usage: lintian_test.sh PACKAGES_DIR
. "$(dirname "$0")/../lib/testlib.sh"
packages=$1
command -v lintian > /dev/null || skip "lintian is not installed (scripts/setup.sh installs it)"
set -- "$packages"/*.deb "$packages"/debug/*.deb
[ -f "$1" ] || { fail "no packages in $packages"; finish; }

report=$(lintian --no-cfg --display-info --fail-on none "$@" 2>&1)
status=$?
check "lintian's exit status" 0 "$status"
printf '%s\n' "$report"
errors=$(printf '%s\n' "$report" | grep -c '^E: ')
warnings=$(printf '%s\n' "$report" | grep -c '^W: ')
check "lintian errors" 0 "$errors"
check "lintian warnings" 0 "$warnings"
echo "lintian on $#: $errors errors, $warnings warnings"
finish
