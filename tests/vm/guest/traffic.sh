#!/bin/bash
# Sends COUNT UDP datagrams of PAYLOAD bytes (PAYLOAD + 28 bytes of IP) to
# each TARGET at once, PAUSE seconds apart (0: back to back), and returns
# when all are sent. A TARGET is ADDRESS, or NETNS:ADDRESS to send from that
# network namespace.
# usage: traffic.sh COUNT PAYLOAD PAUSE TARGET...
count=$1 size=$2 pause=$3
shift 3
payload=$(head -c "$size" /dev/zero | tr '\0' x)
# The pause is a read with a time-out on a pipe nobody writes to: a builtin,
# where a sleep command would cost a process per datagram.
send() {
    local i fifo
    fifo=$(mktemp -u /run/traffic.XXXXXX)
    mkfifo "$fifo"
    exec 4<> "$fifo"
    rm -f "$fifo"
    for ((i = 0; i < count; i++)); do
        # One write of the builtin printf is one datagram.
        printf '%s' "$payload" > "/dev/udp/$1/9"
        [ "$pause" = 0 ] || read -r -t "$pause" -u 4
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
