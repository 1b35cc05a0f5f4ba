#!/bin/sh
# Usage: netns-run.sh [--no-tun] command...
# As root, runs the command in a network namespace of its own, so the TUN
# devices a test makes never touch the host's network, and names that
# namespace in TUNTAP_TEST_NETNS; with --no-tun also in a private mount
# namespace where /dev/net is empty. Not as root, runs the command as it is,
# and the tests that need root skip.
hide=
if [ "$1" = --no-tun ]; then hide=1; shift; fi
[ "$(id -u)" -eq 0 ] || exec "$@"
inside='TUNTAP_TEST_NETNS=$(readlink /proc/self/ns/net) || exit 1
export TUNTAP_TEST_NETNS
[ -z "$HIDE" ] || [ ! -d /dev/net ] || mount -t tmpfs none /dev/net || exit 1
exec "$@"'
if [ -n "$hide" ]; then
  HIDE=1 exec unshare --net --mount --propagation private sh -c "$inside" sh "$@"
fi
exec unshare --net sh -c "$inside" sh "$@"
