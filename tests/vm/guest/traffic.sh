#!/bin/bash
# Sends COUNT UDP datagrams of PAYLOAD bytes (PAYLOAD + 28 bytes of IP) to
# each TARGET at once, PAUSE seconds apart (0: back to back), and returns
# when all are sent. A TARGET is ADDRESS, or NETNS:ADDRESS to send from that
# network namespace.
# usage: traffic.sh COUNT PAYLOAD PAUSE TARGET...
count=$1 size=$2 pause=$3
shift 3
payload=$(head -c "$size" /dev/zero | tr '\0' x)
send() {
    local i
    for ((i = 0; i < count; i++)); do
        # One write of the builtin printf is one datagram.
        printf '%s' "$payload" > "/dev/udp/$1/9"
        [ "$pause" = 0 ] || sleep "$pause"
    done
}
for target in "$@"; do
    case $target in
        *:*) ip netns exec "${target%%:*}" bash -c "$(declare -f send)
            count=$count payload=$payload pause=$pause send ${target#*:}" & ;;
        *) send "$target" & ;;
    esac
done
wait
