# Shell functions for running byteloom on loopback inside a private network
# namespace; sourced by the demo, the real-iptables test and the soak benchmark.

# Brings lo up and creates the accounting chains, jumped to from PREROUTING and
# POSTROUTING, with one RETURN rule each for lo; arguments narrow both rules.
loopbackchains() {
  ip link set lo up
  for chain in RTCHARTS_IN RTCHARTS_OUT; do iptables -t mangle -N $chain; done
  iptables -t mangle -A PREROUTING -j RTCHARTS_IN
  iptables -t mangle -A POSTROUTING -j RTCHARTS_OUT
  iptables -t mangle -A RTCHARTS_IN -i lo "$@" -j RETURN
  iptables -t mangle -A RTCHARTS_OUT -o lo "$@" -j RETURN
}

# Usage: loopbackdaemon BYTELOOM DIR [FILESDIR]
# Copies the daemon into DIR beside a start-up script that accounts lo as
# "loopback" and puts the four files in FILESDIR (DIR when not given).
loopbackdaemon() {
  cp "$1" "$2/byteloom"
  cat >"$2/getbyteloomheaders.sh" <<SCRIPT
#!/bin/sh
echo lo
echo ${3:-$2}/rate
echo ${3:-$2}/today
echo ${3:-$2}/day
echo ${3:-$2}/history
echo loopback
SCRIPT
  chmod +x "$2/getbyteloomheaders.sh"
}
