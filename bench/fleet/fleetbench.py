#!/usr/bin/env python3
"""A fleet on one Prometheus: APPLIANCES exporters, each over files of its own
(a year of history, four labels; their today and rate files rewritten every
second as the daemon does), scraped every INTERVAL seconds for SECONDS by one
Prometheus that loads the fleet's rules. Prints the exporters' CPU per
scrape, Prometheus's CPU and memory per appliance, one exporter's resident
memory after SCRAPES back-to-back scrapes against after 100, and whether the
rules' fleet sums equal the sum of the appliances' own /api figures (exit
status 1 if not). Loopback only; every process it starts is stopped by its
PID, also on an error.

usage: fleetbench.py EXPORTER RULES WORKDIR APPLIANCES SECONDS INTERVAL SCRAPES
"""
import http.client
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
APPLIANCE = os.path.join(HERE, "..", "..", "tests", "fleet", "appliance.py")
FIRSTPORT = 19500
PROMETHEUS_PORT = 19490
LABELS = 4
HISTORY_DAYS = 365
TICKS = os.sysconf("SC_CLK_TCK")


def cputime_ns(pid):
    """CPU time of every thread of pid, in nanoseconds (schedstat's run time)."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            pass  # a thread that ended meanwhile
    return total


def cputime_stat(pid):
    """CPU time of pid and its ended threads, in seconds (/proc/PID/stat)."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def wait_for(what, seconds, probe):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            if probe():
                return
        except OSError:
            pass
        time.sleep(0.2)
    raise RuntimeError(f"timed out waiting for {what}")


def get(port, path):
    with urllib.request.urlopen(f"http://127.0.0.1:{port}{path}", timeout=10) as reply:
        return reply.read()


def promql(expr, at=None):
    params = {"query": expr}
    if at is not None:
        params["time"] = f"{at:.3f}"
    data = json.loads(get(PROMETHEUS_PORT, "/api/v1/query?" + urllib.parse.urlencode(params)))
    return data["data"]["result"]


class Fleet:
    def __init__(self, exporter, rules, work, count, interval):
        self.exporter, self.rules, self.work = exporter, rules, work
        self.count, self.interval = count, interval
        self.processes = []
        self.exporters = []
        self.prometheus = None

    def start(self, args, log):
        process = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=open(log, "w"))
        self.processes.append(process)
        return process

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=30)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        self.processes = []

    def appliance(self, n):
        return os.path.join(self.work, f"a{n}")

    def start_exporters(self):
        for n in range(self.count):
            folder = self.appliance(n)
            subprocess.run([sys.executable, APPLIANCE, folder, str(n), str(HISTORY_DAYS), str(LABELS)],
                           check=True)
            port = FIRSTPORT + n
            process = self.start([self.exporter, "--startup-script", f"{folder}/getbyteloomheaders.sh",
                                  "--listen", f"127.0.0.1:{port}"], f"{folder}/exporter.log")
            self.exporters.append((process, port))
        for _, port in self.exporters:
            wait_for(f"the exporter on {port}", 10, lambda: get(port, "/api/rates"))

    def start_prometheus(self):
        config = os.path.join(self.work, "prometheus.yml")
        targets = ", ".join(f"'127.0.0.1:{port}'" for _, port in self.exporters)
        with open(config, "w") as f:
            f.write(f"global:\n  scrape_interval: {self.interval}s\n  scrape_timeout: {self.interval}s\n"
                    f"  evaluation_interval: {self.interval}s\nrule_files: ['{self.rules}']\n"
                    f"scrape_configs:\n  - job_name: byteloom\n    static_configs:\n"
                    f"      - targets: [{targets}]\n")
        self.prometheus = self.start(
            ["prometheus", f"--config.file={config}", f"--storage.tsdb.path={self.work}/data",
             f"--web.listen-address=127.0.0.1:{PROMETHEUS_PORT}", "--log.level=warn"],
            f"{self.work}/prometheus.log")
        wait_for("Prometheus", 60, lambda: get(PROMETHEUS_PORT, "/-/ready"))

    def tick(self):
        """The daemon's writes of one second on every appliance: the today
        and rate files rewritten in place."""
        for n in range(self.count):
            folder = self.appliance(n)
            with open(f"{folder}/today", "r+") as f:
                fields = f.read().split()
                for i in range(1, len(fields), 3):
                    fields[i] = str(int(fields[i]) + 1000 + n)
                    fields[i + 1] = str(int(fields[i + 1]) + 100)
                f.seek(0)
                f.write(" ".join(fields) + " ")
                f.truncate()
            with open(f"{folder}/rate", "r+") as f:
                f.write("".join(f"{1 + n}.00 0.10 " for _ in range(LABELS)))
                f.truncate()


def scrapes_of(port, seconds, at):
    """The scrapes of port in the seconds up to at (seconds since the epoch)."""
    result = promql(f'count_over_time(up{{instance="127.0.0.1:{port}"}}[{seconds}s])', at)
    return int(result[0]["value"][1]) if result else 0


def fleet_matches(fleet):
    """The rules' fleet sums against the sum of every appliance's /api."""
    mismatches = []
    for view, path, key, rule in (("day", "/api/today", lambda d: d["days"][-1]["traffic"],
                                   "direction:byteloom_day_bytes:sum"),
                                  ("month", "/api/months?months=1", lambda d: d["months"][0]["traffic"],
                                   "direction:byteloom_month_bytes:sum")):
        own = {"in": 0, "out": 0}
        for _, port in fleet.exporters:
            for counts in key(json.loads(get(port, path))).values():
                own["in"] += counts["in"]
                own["out"] += counts["out"]
        for sample in promql(rule):
            direction = sample["metric"]["direction"]
            recorded = int(float(sample["value"][1]))
            print(f"fleet {view} {direction}: rules {recorded}, appliances' /api {own[direction]}")
            if recorded != own[direction]:
                mismatches.append(f"{view} {direction}")
        if len(promql(rule)) != 2:
            mismatches.append(f"{view}: no sums")
    return mismatches


def keepalive_scrapes(fleet, count, rss_at):
    """count scrapes of /metrics of the first exporter over one keep-alive
    connection, the files rewritten after every 50; its resident memory
    after each number of scrapes in rss_at, and its CPU per scrape in us."""
    process, port = fleet.exporters[0]
    pid = process.pid
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    found = {}
    start = cputime_ns(pid)
    for i in range(1, count + 1):
        if i % 50 == 0:
            fleet.tick()
        connection.request("GET", "/metrics")
        reply = connection.getresponse()
        reply.read()
        if reply.status != 200:
            raise RuntimeError(f"scrape {i}: status {reply.status}")
        if i in rss_at:
            found[i] = rss_kb(pid)
    connection.close()
    return found, (cputime_ns(pid) - start) / count / 1000


def main(exporter, rules, work, count, seconds, interval, scrapes):
    count, seconds, interval, scrapes = int(count), int(seconds), int(interval), int(scrapes)
    os.makedirs(work, exist_ok=True)
    work = tempfile.mkdtemp(prefix="fleetbench.", dir=work)
    fleet = Fleet(os.path.abspath(exporter), os.path.abspath(rules), work, count, interval)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        fleet.start_exporters()
        fleet.start_prometheus()
        pid = fleet.prometheus.pid
        prometheus_ready = (cputime_stat(pid), rss_kb(pid))
        exporter_cpu = [cputime_ns(p.pid) for p, _ in fleet.exporters]
        started = time.monotonic()
        second = 0
        while time.monotonic() - started < seconds:
            second += 1
            fleet.tick()
            time.sleep(max(0.0, started + second - time.monotonic()))
        elapsed = time.monotonic() - started
        ended = time.time()
        exporter_cpu = [cputime_ns(p.pid) - before for (p, _), before in zip(fleet.exporters, exporter_cpu)]
        prometheus_cpu = cputime_stat(pid) - prometheus_ready[0]
        prometheus_rss = rss_kb(pid)
        # The daemons stop writing; two more scrapes and evaluations.
        time.sleep(2 * interval + 1)
        counted = [scrapes_of(port, int(elapsed), ended) for _, port in fleet.exporters]
        total = sum(counted)
        per_scrape = sorted(cpu / max(1, n) / 1000 for cpu, n in zip(exporter_cpu, counted))
        print(f"fleet: {count} appliances ({HISTORY_DAYS} days of history, {LABELS} labels), "
              f"scraped every {interval} s for {elapsed:.0f} s: {total} scrapes "
              f"({min(counted)} to {max(counted)} each)")
        print(f"exporter CPU per scrape (files rewritten every second): median "
              f"{per_scrape[len(per_scrape) // 2]:.0f} us, max {per_scrape[-1]:.0f} us")
        series = json.loads(get(PROMETHEUS_PORT, "/api/v1/status/tsdb"))["data"]["headStats"]["numSeries"]
        print(f"Prometheus: {prometheus_cpu / elapsed * 100:.2f} % of a core "
              f"({prometheus_cpu / elapsed * 100 / count:.3f} % per appliance), "
              f"resident {prometheus_rss / 1024:.1f} MB against {prometheus_ready[1] / 1024:.1f} MB "
              f"when ready ({(prometheus_rss - prometheus_ready[1]) / count:.0f} kB per appliance), "
              f"{series} head series ({series / count:.0f} per appliance)")
        mismatches = fleet_matches(fleet)
        rss, cpu = keepalive_scrapes(fleet, scrapes, {100, scrapes})
        print(f"one exporter, {scrapes} scrapes back to back: CPU {cpu:.0f} us per scrape, resident "
              f"{rss[scrapes]} kB after {scrapes} against {rss[100]} kB after 100 "
              f"({rss[scrapes] / rss[100]:.2f}x)")
        if mismatches:
            print("FAIL: the fleet sums differ from the appliances' own: " + ", ".join(mismatches))
            return 1
        if rss[scrapes] > rss[100] * 1.25:
            print("FAIL: the exporter's memory grew")
            return 1
        return 0
    finally:
        fleet.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    if len(sys.argv) != 8:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
