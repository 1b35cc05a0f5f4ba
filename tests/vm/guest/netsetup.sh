#!/bin/bash
# The guest's test network, made again after every boot: vmwan in the root
# namespace, its veth peer in the namespace "far" (10.77.0.1 and .2), no IPv6
# (its neighbour discovery would add packets nobody sent), and a DROP for
# the test datagrams at each end, so no closed port answers with ICMP.
set -e
ip link show vmwan >/dev/null 2>&1 && exit 0
ip netns add far 2>/dev/null || true
ip link add vmwan type veth peer name vmpeer
sysctl -qw net.ipv6.conf.vmwan.disable_ipv6=1
ip link set vmpeer netns far
ip netns exec far sysctl -qw net.ipv6.conf.vmpeer.disable_ipv6=1
ip addr add 10.77.0.1/30 dev vmwan
ip link set vmwan up
ip -n far addr add 10.77.0.2/30 dev vmpeer
ip -n far link set vmpeer up
iptables -C INPUT -p udp --dport 9 -j DROP 2>/dev/null || iptables -A INPUT -p udp --dport 9 -j DROP
ip netns exec far iptables -A INPUT -p udp --dport 9 -j DROP
