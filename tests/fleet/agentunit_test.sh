#!/bin/sh
# The installed agent unit passes systemd's offline checks and its exposure
# score stays at 3.5 or lower; it runs the configuration installed beside it
# and loads the secret as a credential; the rules and the dashboard are
# installed for the exporter.
# usage: agentunit_test.sh STAGE
. "$(dirname "$0")/../lib/testlib.sh"
stage=$1
command -v systemd-analyze >/dev/null || skip "systemd-analyze is not installed"
command -v prometheus >/dev/null || skip "prometheus is not installed"
unit=$stage/usr/lib/systemd/system/byteloom-agent.service
[ -f "$stage/etc/byteloom/agent.yml" ] || fail "etc/byteloom/agent.yml not installed"
for file in prometheus/byteloom-rules.yml grafana/byteloom-fleet.json; do
    [ -f "$stage/usr/share/byteloom-exporter/$file" ] || fail "usr/share/byteloom-exporter/$file not installed"
done
grep -q '^ExecStart=/usr/bin/prometheus --enable-feature=agent --config.file=/etc/byteloom/agent.yml ' "$unit" ||
    fail "ExecStart: $(grep '^ExecStart' "$unit")"
grep -qx 'LoadCredential=secret:/etc/byteloom/agent.secret' "$unit" || fail "no credential"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$unit" "$work/"
checkunit "$work/byteloom-agent.service" 3.5
# Its configuration as installed is one Prometheus in agent mode accepts.
out=$(promtool check config --agent "$stage/etc/byteloom/agent.yml" 2>&1) ||
    fail "promtool check config --agent: $out"
finish
