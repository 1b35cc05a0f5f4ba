#!/bin/sh
# The Debian package: its dependencies, its files, the unit's paths under the
# package's prefix, and maintainer scripts that enable the service.
# usage: package_test.sh BUILD_DIR OUT_DIR
. "$(dirname "$0")/../lib/testlib.sh"
build=$1 out=$2
command -v dpkg-deb >/dev/null || skip "dpkg-deb is not installed"
command -v dpkg-shlibdeps >/dev/null || skip "dpkg-shlibdeps (dpkg-dev) is not installed"
rm -rf "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out" > "$out.log" 2>&1 || {
    cat "$out.log" >&2
    fail "cpack failed"
    finish
}
rm -f "$out.log"
deb=$(ls "$out"/byteloom_*.deb)

depends=$(dpkg-deb -f "$deb" Depends)
for package in iptables libc6 init-system-helpers; do
    case ", $depends," in
        *", $package "*|*", $package,"*) ;;
        *) fail "Depends lacks $package: $depends" ;;
    esac
done

dpkg-deb -c "$deb" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' > "$out/contents"
for entry in "./usr/sbin/byteloom -> ../lib/byteloom/byteloom" \
    "./usr/lib/byteloom/getbyteloomheaders.sh" "./usr/lib/systemd/system/byteloom.service" \
    "./usr/share/doc/byteloom/examples/byteloom.conf" "./usr/share/man/man5/byteloom.conf.5.gz"; do
    grep -qxF "$entry" "$out/contents" || fail "package lacks $entry"
done

dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/systemd/system/byteloom.service > "$out/unit"
grep -qx 'ExecStart=/usr/sbin/byteloom' "$out/unit" || fail "packaged unit: $(grep Exec "$out/unit")"

dpkg-deb -e "$deb" "$out/control"
grep -q 'deb-systemd-helper enable byteloom.service' "$out/control/postinst" ||
    fail "postinst does not enable the service"
for script in postinst prerm postrm; do
    sh -n "$out/control/$script" || fail "$script is not valid sh"
done
finish
