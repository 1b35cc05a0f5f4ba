#!/bin/sh
# A daemon whose own path is longer than a path may be can't tell where its
# start-up script lies: it must refuse to start, never run the script of the
# directory it was started from.
# usage: longpath_test.sh BYTELOOM
set -eu
daemon=$(realpath "$1")
tmp=$(mktemp -d /tmp/longpathXXXXXX)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"

# Two links, each to a directory path of about 2400 characters, so the
# executable's real path is longer than PATH_MAX while the path it is started
# by is short.
component=$(printf '%0200d' 0)
half=""
for i in 1 2 3 4 5 6 7 8 9 10 11 12; do half="$half$component/"; done
mkdir -p "$half"
ln -s "$half" one
mkdir -p "one/$half"
ln -s "$half" one/two
cp "$daemon" one/two/byteloom

printf '#!/bin/sh\ntouch "%s/ran"\n' "$tmp" > getbyteloomheaders.sh
chmod +x getbyteloomheaders.sh

status=0
out=$(./one/two/byteloom 2>&1) || status=$?
fail() { echo "FAIL: $1 (status $status, output: $out)"; exit 1; }
[ "$status" -eq 255 ] || fail "expected exit status 255"
case "$out" in
  *"ERROR. Could not find the executable's directory to run getbyteloomheaders.sh from"*) ;;
  *) fail "expected the refusal on standard output" ;;
esac
[ ! -e "$tmp/ran" ] || fail "the start-up script of the current directory ran"
echo "PASS: refused to start: $out"
