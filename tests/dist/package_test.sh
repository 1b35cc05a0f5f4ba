#!/bin/sh
# The Debian packages, built the way the README says (scripts/build-packages.sh):
# which package holds what, their dependencies and version, stripped programs
# with their symbols in -dbgsym packages, debhelper's unit code in the
# maintainer scripts, and what removal and purge leave behind. The packages
# stay in OUT_DIR for the lintian and DKMS tests.
# usage: package_test.sh SOURCE_DIR OUT_DIR WORK_DIR
. "$(dirname "$0")/../lib/testlib.sh"
source=$1 out=$2 work=$3

if [ "${4:-}" = --agent ]; then
    # The agent's own part of its scripts, without debhelper's unit code:
    # the secret is made root's alone, kept over upgrades, dropped on purge.
    control=$5
    set -e
    mount -t tmpfs tmpfs /etc
    mount -t tmpfs tmpfs /var/lib
    mkdir -p /etc/byteloom
    own() { sed '/^# Automatically added by/,$d' "$control/$1" > "$control/$1.own"; }
    own postinst
    own postrm
    sh "$control/postinst.own" configure
    echo "configure: $(stat -c '%A %u %g' /etc/byteloom/agent.secret)"
    echo keep > /etc/byteloom/agent.secret
    sh "$control/postinst.own" configure 1.1
    echo "again, kept: $(cat /etc/byteloom/agent.secret)"
    sh "$control/postrm.own" remove
    echo "remove: $(find /etc/byteloom -type f | sort | tr '\n' ' ' | sed 's/ $//')"
    sh "$control/postrm.own" purge
    echo "purge: $(find /etc/byteloom /var/lib/byteloom-agent 2>/dev/null | tr '\n' ' ')"
    exit 0
fi

if [ "${4:-}" = --purge ]; then
    # In a private mount namespace: /etc and /var/lib are empty file systems
    # holding only what the case below puts there.
    control=$5
    set -e
    mount -t tmpfs tmpfs /etc
    mount -t tmpfs tmpfs /var/lib
    mount -t tmpfs tmpfs /run
    state() {
        echo "$1: $(find /etc/byteloom /var/lib/byteloom 2> /dev/null | sort | tr '\n' ' ')"
    }
    mkdir -p /etc/byteloom /var/lib/byteloom
    echo "[2026-03-09] wan 10 20" > /var/lib/byteloom/history
    sed -n 's/^MARKER="\(.*\)"$/\1/p' "$source/dist/byteloom-defaultconf" > /etc/byteloom/byteloom.conf
    echo "eth0 wan" >> /etc/byteloom/byteloom.conf
    sh "$control/postrm" remove
    state remove
    sh "$control/postrm" purge
    state purge
    # A configuration written by hand stays, and so does its directory.
    mkdir -p /etc/byteloom /var/lib/byteloom
    echo "eth0 wan" > /etc/byteloom/byteloom.conf
    sh "$control/postrm" purge
    state "purge, written by hand"
    exit 0
fi

command -v dpkg-buildpackage > /dev/null || skip "dpkg-buildpackage (dpkg-dev) is not installed"
command -v dh > /dev/null || skip "debhelper is not installed (scripts/setup.sh installs it)"
command -v dh_dkms > /dev/null || skip "dh_dkms (dh-dkms) is not installed (scripts/setup.sh installs it)"
dpkg-checkbuilddeps "$source/debian/control" 2> /dev/null ||
    skip "build dependencies missing: $(dpkg-checkbuilddeps "$source/debian/control" 2>&1)"

rm -rf "$out" "$work"
# scripts/test.sh builds the packages once, with this same command, for this
# test and the VM stage alike, and names them in BYTELOOM_PACKAGES.
if [ -n "${BYTELOOM_PACKAGES:-}" ] && ls "$BYTELOOM_PACKAGES"/*.deb > /dev/null 2>&1; then
    mkdir -p "$out" "$work"
    cp -r "$BYTELOOM_PACKAGES"/. "$out"
else
    sh "$source/scripts/build-packages.sh" "$out" "$work" > /dev/null || {
        fail "scripts/build-packages.sh failed"
        finish
    }
fi

version=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)
project=$(sed -n 's/^project(byteloom VERSION \([0-9.]*\) .*/\1/p' "$source/CMakeLists.txt")
check "changelog version is the project's" "$project" "$version"

arch=$(dpkg-architecture -q DEB_HOST_ARCH)
multiarch=$(dpkg-architecture -q DEB_HOST_MULTIARCH)
daemon=$out/byteloom_${version}_$arch.deb
exporter=$out/byteloom-exporter_${version}_$arch.deb
jni=$out/libbyteloom-jni_${version}_$arch.deb
dkms=$out/byteloom-dummy-dkms_${version}_all.deb
agent=$out/byteloom-agent_${version}_all.deb
check "packages built" "$(printf '%s\n' "$daemon" "$dkms" "$exporter" "$jni" "$agent" | sort)" \
    "$(ls "$out"/*.deb | sort)"
for deb in "$daemon" "$exporter" "$jni"; do
    name=$(dpkg-deb -f "$deb" Package)
    [ -f "$out/debug/$name-dbgsym_${version}_$arch.deb" ] || fail "no $name-dbgsym package"
done

# depends PACKAGE "NAME..." : each NAME is in the package's Depends.
depends() {
    for name in $2; do
        case ", $(dpkg-deb -f "$1" Depends)," in
            *", $name "* | *", $name,"*) ;;
            *) fail "$(basename "$1") does not depend on $name: $(dpkg-deb -f "$1" Depends)" ;;
        esac
    done
}
depends "$daemon" "iptables libc6"
depends "$exporter" "byteloom libc6 libmicrohttpd12"
depends "$jni" "libc6"
depends "$dkms" "dkms"
depends "$agent" "byteloom-exporter prometheus"
check "exporter needs this very byteloom" "byteloom (= $version)" \
    "$(dpkg-deb -f "$exporter" Depends | tr ',' '\n' | sed -n 's/^ *\(byteloom (.*)\)$/\1/p')"
check "JNI package is multiarch" "same" "$(dpkg-deb -f "$jni" Multi-Arch)"

# Each file in the one package it belongs to.
for deb in "$daemon" "$exporter" "$jni" "$dkms" "$agent"; do
    dpkg-deb -c "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' |
        sed "s|^|$(dpkg-deb -f "$deb" Package) |"
done > "$work/contents"
holds() {
    grep -qxF "$1 $2" "$work/contents" || fail "$1 lacks $2"
}
for entry in "./usr/sbin/byteloom -> ../lib/byteloom/byteloom" \
    ./usr/lib/byteloom/getbyteloomheaders.sh ./usr/lib/byteloom/byteloom-defaultconf \
    ./usr/bin/byteloom-report ./usr/lib/systemd/system/byteloom.service ./etc/byteloom/ \
    ./usr/share/doc/byteloom/examples/byteloom.conf ./usr/share/man/man5/byteloom.conf.5.gz \
    ./usr/share/doc/byteloom/copyright ./usr/share/doc/byteloom/changelog.gz; do
    holds byteloom "$entry"
done
holds byteloom-exporter ./usr/bin/byteloom-exporter
holds byteloom-exporter ./usr/lib/systemd/system/byteloom-exporter.service
holds byteloom-exporter ./usr/share/byteloom-exporter/prometheus/byteloom-rules.yml
holds byteloom-exporter ./usr/share/byteloom-exporter/grafana/byteloom-fleet.json
holds byteloom-agent ./etc/byteloom/agent.yml
holds byteloom-agent ./usr/lib/systemd/system/byteloom-agent.service
holds libbyteloom-jni "./usr/lib/$multiarch/jni/libtuntap.so"
holds libbyteloom-jni "./usr/lib/$multiarch/jni/libtcptune.so"
for file in dkms.conf Kbuild dummy.c; do
    holds byteloom-dummy-dkms "./usr/src/byteloom-dummy-$version/$file"
done
holds byteloom-dummy-dkms ./lib/modprobe.d/zz-byteloom-dummy.conf
dups=$(grep -v '/$' "$work/contents" | cut -d' ' -f2 | sort | uniq -d)
check "files in more than one package" "" "$dups"

# Stripped programs and libraries; their symbols in the -dbgsym packages.
mkdir -p "$work/tree" "$work/debug"
for deb in "$daemon" "$exporter" "$jni" "$agent"; do
    dpkg-deb -x "$deb" "$work/tree"
done
for deb in "$out"/debug/*.deb; do
    dpkg-deb -x "$deb" "$work/debug"
done
for file in usr/lib/byteloom/byteloom usr/bin/byteloom-report usr/bin/byteloom-exporter \
    "usr/lib/$multiarch/jni/libtuntap.so" "usr/lib/$multiarch/jni/libtcptune.so"; do
    sections=$(readelf -S "$work/tree/$file")
    case $sections in
        *.debug_info* | *.symtab*) fail "$file is not stripped" ;;
    esac
    id=$(readelf -n "$work/tree/$file" | sed -n 's/.*Build ID: *//p')
    debug=$work/debug/usr/lib/debug/.build-id/$(echo "$id" | cut -c1-2)/$(echo "$id" | cut -c3-).debug
    [ -n "$id" ] && [ -f "$debug" ] || fail "no debug symbols for $file in a -dbgsym package"
done
grep -qx 'ExecStart=/usr/sbin/byteloom' "$work/tree/usr/lib/systemd/system/byteloom.service" ||
    fail "packaged unit: $(grep Exec "$work/tree/usr/lib/systemd/system/byteloom.service")"
grep -q '^ExecStart=/usr/bin/byteloom-exporter ' "$work/tree/usr/lib/systemd/system/byteloom-exporter.service" ||
    fail "packaged exporter unit: $(grep Exec "$work/tree/usr/lib/systemd/system/byteloom-exporter.service")"

agentunit=$work/tree/usr/lib/systemd/system/byteloom-agent.service
for line in 'ExecStart=/usr/bin/prometheus --enable-feature=agent --config.file=/etc/byteloom/agent.yml ' \
    'LoadCredential=secret:/etc/byteloom/agent.secret'; do
    grep -q "^$line" "$agentunit" || fail "packaged agent unit lacks $line"
done

# Maintainer scripts: debhelper's own unit and DKMS code, valid sh.
for deb in "$daemon" "$exporter" "$dkms" "$agent"; do
    name=$(dpkg-deb -f "$deb" Package)
    dpkg-deb -e "$deb" "$work/control-$name"
    for script in "$work/control-$name"/*inst "$work/control-$name"/*rm; do
        [ -f "$script" ] || continue
        sh -n "$script" || fail "$name $(basename "$script") is not valid sh"
    done
done
for name in byteloom byteloom-exporter; do
    grep -q "Automatically added by dh_installsystemd" "$work/control-$name/postinst" ||
        fail "$name postinst lacks debhelper's unit code"
    grep -q "deb-systemd-helper enable '$name.service'" "$work/control-$name/postinst" ||
        fail "$name postinst does not enable $name.service"
    grep -q "deb-systemd-invoke \$_dh_action '$name.service'" "$work/control-$name/postinst" ||
        fail "$name postinst does not start or restart $name.service"
    grep -q "deb-systemd-helper purge '$name.service'" "$work/control-$name/postrm" ||
        fail "$name postrm does not forget $name.service on purge"
done
# The agent's unit is installed, neither enabled nor started; its
# configuration is a conffile.
grep -q "deb-systemd-helper purge 'byteloom-agent.service'" "$work/control-byteloom-agent/postrm" ||
    fail "byteloom-agent postrm does not forget its unit on purge"
# debhelper's code for a unit not enabled: it only keeps an administrator's
# enabling across upgrades (it acts only where the unit was installed before).
grep -q "if deb-systemd-helper debian-installed 'byteloom-agent.service'; then" \
    "$work/control-byteloom-agent/postinst" || fail "byteloom-agent postinst may enable its unit"
if grep -q "deb-systemd-invoke" "$work/control-byteloom-agent/postinst"; then
    fail "byteloom-agent postinst starts its unit"
fi
check "the agent's conffile" /etc/byteloom/agent.yml "$(cat "$work/control-byteloom-agent/conffiles")"
grep -q 'dkms' "$work/control-byteloom-dummy-dkms/postinst" || fail "DKMS package postinst runs no dkms"
grep -q 'dkms remove' "$work/control-byteloom-dummy-dkms/prerm" || fail "DKMS package prerm runs no dkms remove"

# Removal keeps the history and the configuration; purge drops the history
# and the generated configuration, and keeps one written by hand.
if [ "$(id -u)" -eq 0 ] && unshare -m true 2> /dev/null; then
    result=$(unshare -m sh "$0" "$source" "$out" "$work" --purge "$work/control-byteloom")
    check "what postrm leaves" "remove: /etc/byteloom /etc/byteloom/byteloom.conf /var/lib/byteloom /var/lib/byteloom/history 
purge: 
purge, written by hand: /etc/byteloom /etc/byteloom/byteloom.conf " "$result"
    result=$(unshare -m sh "$0" "$source" "$out" "$work" --agent "$work/control-byteloom-agent")
    check "the agent's secret" "configure: -rw------- 0 0
again, kept: keep
remove: /etc/byteloom/agent.secret
purge: " "$result"
else
    echo "note: not root, postrm's purge not run"
fi
finish
