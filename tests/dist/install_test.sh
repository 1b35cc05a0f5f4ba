#!/bin/sh
# Stages an installation with DESTDIR and checks its layout; the other
# installed-tree tests use the stage.
# usage: install_test.sh BUILD_DIR STAGE JNIDIR "JNI_LIBRARIES"
. "$(dirname "$0")/../lib/testlib.sh"
build=$1 stage=$2 jnidir=$3 jni=$4
rm -rf "$stage"
DESTDIR=$stage cmake --install "$build" --prefix /usr > "$stage.log" || {
    cat "$stage.log" >&2
    fail "cmake --install failed"
    finish
}
usr=$stage/usr

for program in byteloom getbyteloomheaders.sh byteloom-chains byteloom-defaultconf; do
    [ -x "$usr/lib/byteloom/$program" ] || fail "lib/byteloom/$program missing or not executable"
done
for link in byteloom byteloom-chains; do
    check "sbin/$link" "../lib/byteloom/$link" "$(readlink "$usr/sbin/$link")"
done
for library in $jni; do
    [ -f "$usr/$jnidir/lib$library.so" ] || fail "$jnidir/lib$library.so missing"
done
[ -f "$usr/share/doc/byteloom/examples/byteloom.conf" ] || fail "example configuration missing"

unit=$usr/lib/systemd/system/byteloom.service
grep -qx 'ExecStart=/usr/sbin/byteloom' "$unit" || fail "unit does not start /usr/sbin/byteloom"
grep -qx 'ExecStartPre=+/usr/sbin/byteloom-chains up' "$unit" || fail "unit does not set up the chains"

for page in man8/byteloom.8 man8/byteloom-chains.8 man5/byteloom.conf.5; do
    file=$usr/share/man/$page.gz
    if [ ! -f "$file" ]; then
        fail "$page.gz missing"
    elif command -v groff >/dev/null; then
        warnings=$(gzip -dc "$file" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1)
        check "$page renders without warnings" "" "$warnings"
    fi
done

# Started through its sbin link, the daemon still finds the script beside its
# real file: a configuration it cannot use stops it with the script's reason.
printf 'eth0:0x2 vpn\n' > "$stage.conf"
BYTELOOM_CONF=$stage.conf "$usr/sbin/byteloom" > "$stage.out" 2> "$stage.err"
check "daemon status for a bad configuration" 255 $?
check "daemon message for a bad configuration" \
    "ERROR. Could not find getbyteloomheaders.sh in the executable's path ($usr/lib/byteloom). Exiting..." \
    "$(cat "$stage.out")"
grep -q 'must be ifname or ifname:matchval:dest' "$stage.err" || fail "the script's reason is not shown"
rm -f "$stage.conf" "$stage.out" "$stage.err" "$stage.log"

finish
