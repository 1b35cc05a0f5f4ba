#!/bin/sh
# Stands in for iptables in the daemon's system tests. It serves the listing
# queued for the chain (the last argument) once, as "-L -Z" would: a queued
# file is consumed, so the next call reports nothing new. A file named
# CHAIN.always is served on every call that finds nothing queued. A hang file queued for the
# chain is served once too, and then the call hangs, as a stuck backend
# would, in a child that keeps the output open (its pid in hung.pid).
# Installed as ip6tables, it serves listings6 instead, and has no chains
# while that directory does not exist. It answers -V as the legacy backend,
# whose listing zeroes what it lists, as this one does, or as the backend
# named in listings/backend (with CHAIN.always files, counters that stay).
chain=$(eval echo "\${$#}")
program=${0##*/}
if [ "$chain" = -V ]; then
  backend=legacy
  [ ! -f "$(dirname "$0")/../listings/backend" ] || backend=$(cat "$(dirname "$0")/../listings/backend")
  echo "$program v1.8.9 ($backend)"
  exit 0
fi
listings="$(dirname "$0")/../listings"
[ "$program" != ip6tables ] || listings="${listings}6"
if [ ! -d "$listings" ]; then
  echo "$program: No chain/target/match by that name." >&2
  exit 1
fi
queue="$listings/$chain"
echo "Chain $chain (1 references)"
echo "    pkts      bytes target     prot opt in     out     source               destination"
if mv "$queue" "$queue.$$" 2>/dev/null; then
  cat "$queue.$$"
  rm -f "$queue.$$"
elif [ -f "$queue.always" ]; then
  cat "$queue.always"
fi
if mv "$queue.hang" "$queue.hang.$$" 2>/dev/null; then
  cat "$queue.hang.$$"
  rm -f "$queue.hang.$$"
  sleep 600 &
  echo $! > "$listings/hung.pid.new" && mv "$listings/hung.pid.new" "$listings/hung.pid"
  wait
fi
