#!/bin/sh
# Usage: netns.sh COMMAND...: runs COMMAND in a private network namespace with
# its loopback up, so the socket tests never touch the host's network. Without
# root there is no namespace: COMMAND runs as it is, and the tests that need
# one skip (they look for TCPTUNE_NETNS).
if [ "$(id -u)" -eq 0 ]; then
  exec unshare -n sh -c 'ip link set lo up && TCPTUNE_NETNS=1 exec "$@"' netns "$@"
fi
echo "netns.sh: not root, so no private network namespace: the socket tests skip" >&2
exec "$@"
