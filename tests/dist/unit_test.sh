#!/bin/sh
# The installed unit passes systemd's own offline checks, and its exposure
# score stays at 3.5 or lower. Its programs are looked for in the stage, not
# on this machine.
# usage: unit_test.sh STAGE
. "$(dirname "$0")/../lib/testlib.sh"
stage=$1
command -v systemd-analyze >/dev/null || skip "systemd-analyze is not installed"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sed "s|=\(+\{0,1\}\)/usr/|=\1$stage/usr/|" "$stage/usr/lib/systemd/system/byteloom.service" > "$work/byteloom.service"
grep -q "^ExecStart=$stage/usr/sbin/byteloom$" "$work/byteloom.service" || fail "ExecStart not found"
checkunit "$work/byteloom.service" 3.5

# A unit that names a missing program must fail, or the check above proves nothing.
sed -i 's|^ExecStart=.*|ExecStart=/nonexistent/byteloom|' "$work/byteloom.service"
systemd-analyze verify --man=no "$work/byteloom.service" >/dev/null 2>&1 && fail "verify accepts a missing program"
finish
