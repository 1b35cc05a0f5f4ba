#!/bin/sh
# Stands in for iptables in the daemon's system tests. It serves the listing
# queued for the chain (the last argument) once, as "-L -Z" would: a queued
# file is consumed, so the next call reports nothing new. A file named
# CHAIN.always is served on every call instead.
chain=$(eval echo "\${$#}")
queue="$(dirname "$0")/../listings/$chain"
echo "Chain $chain (1 references)"
echo "    pkts      bytes target     prot opt in     out     source               destination"
if [ -f "$queue.always" ]; then
  cat "$queue.always"
elif mv "$queue" "$queue.$$" 2>/dev/null; then
  cat "$queue.$$"
  rm -f "$queue.$$"
fi
