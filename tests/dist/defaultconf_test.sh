#!/bin/sh
# byteloom-defaultconf, the first configuration for the default routes'
# interfaces: against made-up `ip` output (both families, multipath, loopback,
# names a label cannot hold, no default route), against the real `ip` in a
# private network namespace with a default route through a TUN device, and
# never over an existing file. What it writes, the start-up script accepts.
# usage: defaultconf_test.sh DIST_DIR
. "$(dirname "$0")/../lib/testlib.sh"
dist=$1
tool=$dist/byteloom-defaultconf
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# fakeip IPV4_ROUTES IPV6_ROUTES: an `ip` that prints these default routes.
fakeip() {
    cat > "$work/ip" << EOF
#!/bin/sh
case "\$*" in
    "-o -4 route show default") printf '%b' '$1' ;;
    "-o -6 route show default") printf '%b' '$2' ;;
    *) echo "unexpected ip \$*" >&2; exit 1 ;;
esac
EOF
    chmod +x "$work/ip"
}

# generated CASE: the interface lines of the file written for the fake routes,
# after checking that the start-up script accepts it.
generated() {
    rm -rf "$work/etc"
    sh "$tool" -o "$work/etc/byteloom.conf" --ip "$work/ip" 2> "$work/err" ||
        fail "$1: exit status $? ($(cat "$work/err"))"
    [ -f "$work/etc/byteloom.conf" ] || return 0
    BYTELOOM_CONF=$work/etc/byteloom.conf sh "$dist/getbyteloomheaders.sh" > /dev/null 2> "$work/err" ||
        fail "$1: the start-up script refuses the file: $(cat "$work/err")"
    grep -v '^#' "$work/etc/byteloom.conf" | tr '\n' ';'
}

fakeip 'default via 192.0.2.1 dev eth0 proto dhcp src 192.0.2.7 metric 100 \n' \
    'default via fe80::1 dev eth0 proto ra metric 1024 expires 1798sec pref medium\n'
check "one interface, both families" "eth0 eth0;" "$(generated "one interface")"
[ "$(stat -c %a "$work/etc/byteloom.conf")" = 644 ] || fail "mode $(stat -c %a "$work/etc/byteloom.conf")"

fakeip 'default via 192.0.2.1 dev wan0 metric 100 \ndefault via 198.51.100.1 dev wan1 metric 200 \n' \
    'default proto static metric 1024 pref medium nexthop via fe80::1 dev v6.up weight 1 nexthop via fe80::2 dev v6-up weight 1 \ndefault dev lo metric 1 \n'
check "two routes, a multipath route, labels made unique, loopback left out" \
    "wan0 wan0;wan1 wan1;v6.up v6-up;v6-up v6-up-2;" "$(generated "several interfaces")"

fakeip 'default dev ppp0:1 scope link \n' ''
check "a name byteloom cannot account is left out" "" "$(generated "bad name")"
[ -e "$work/etc/byteloom.conf" ] && fail "a file was written with no usable interface"

fakeip '' ''
check "no default route: nothing written" "" "$(generated "no route")"
grep -q 'no default route' "$work/err" || fail "no default route: no reason given ($(cat "$work/err"))"

# An existing configuration, even an empty one, is never touched.
mkdir -p "$work/etc"
: > "$work/etc/byteloom.conf"
fakeip 'default via 192.0.2.1 dev eth0 \n' ''
sh "$tool" -o "$work/etc/byteloom.conf" --ip "$work/ip" 2> /dev/null || fail "existing file: exit status $?"
check "existing file untouched" 0 "$(stat -c %s "$work/etc/byteloom.conf")"
check "no temporary file left" "byteloom.conf" "$(ls -A "$work/etc")"

# The real ip, in a namespace of its own whose default route goes through a
# TUN device.
if [ "$(id -u)" -eq 0 ] && [ -c /dev/net/tun ] && unshare -n true 2> /dev/null; then
    lines=$(unshare -n sh -ec '
        ip tuntap add mode tun name uplink0
        ip link set uplink0 up
        ip addr add 192.0.2.7/24 dev uplink0
        ip route add default via 192.0.2.1 dev uplink0
        sh "$1" -o "$2/real/byteloom.conf" 2> /dev/null
        grep -v "^#" "$2/real/byteloom.conf"' sh "$tool" "$work")
    check "the real ip's default route" "uplink0 uplink0" "$lines"
else
    echo "note: not root or no TUN device: the real ip case is not run"
fi
finish
