"""The VM test stage: the project's packages on a booted Debian 12 guest.

usage: stage.py STEP SOURCE_DIR BUILD_DIR

Steps, in the order CTest runs them on one guest:
  image     builds the packages, finds or builds the cached image for their
            dependencies, probes KVM, prepares the payload disk
  deploy    boots a fresh overlay and installs the packages offline
  services  both units run under systemd with their confinement enforced
  traffic   traffic during counting is counted exactly (files and /metrics)
  module    the dummy module loads, makes its devices, carries counted traffic
  restart   stop/start and a clean reboot resume the day's totals
  powercut  QEMU killed at random moments around midnight and minute ends
  upgrade   a newer build over the running one, then purge
  halt      powers the guest off and checks its file system from outside
"""

import glob
import os
import random
import re
import shutil
import subprocess
import sys
import time

# No bytecode files in the source tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import vmlib  # noqa: E402
from vmlib import Checks, Guest, Skip, log  # noqa: E402

CONFIG = """\
# Written by the VM tests: the veth pair and the first dummy device.
vmwan wan
dummy0 dum
"""
# One test burst: 1,000 datagrams of 488 bytes, 516 bytes each with IP.
BURST = (1000, 488)
DAY = 86400


def workdir(build):
    return os.path.join(build, "tests", "vm", "guest")


def sh(*args, **kwargs):
    return subprocess.run(args, check=True, capture_output=True, text=True, **kwargs).stdout


# --- reading the daemon's files ------------------------------------------

ITEMS = re.compile(r"(\S+) (-?\d+) (-?\d+) ")
STAMP = re.compile(r"\[(\d{4}-\d\d-\d\d)\] ")


def items(text):
    """label -> [in, out] of the items of a today file or a dated line."""
    result = {}
    for label, rx, tx in ITEMS.findall(text):
        result[label] = [int(rx), int(tx)]
    return result


def dayline(text):
    """(date, items) of one whole dated line, or None if it is not one."""
    match = STAMP.match(text)
    if not match or ITEMS.sub("", text[match.end():]).strip("\n") != "":
        return None
    return match.group(1), items(text[match.end():])


MINUTESTAMP = re.compile(r"\[(\d{4}-\d\d-\d\d) (\d\d):(\d\d)\] ")


def fiveminline(text):
    """(date, minute of the day, items) of one whole five-minute line, or None."""
    match = MINUTESTAMP.match(text)
    if (not match or not text.endswith("\n") or text.count("\n") != 1
            or ITEMS.sub("", text[match.end():]) != "\n"):
        return None
    minute = int(match.group(2)) * 60 + int(match.group(3))
    return match.group(1), minute, items(text[match.end():])


def fiveminproblems(text, histories):
    """What is wrong with a five-minute file: a line that is not whole, a
    stamp not after its date's previous line, a figure below the line before
    it (an interval below zero), or one above its day's history line (a last
    interval below zero). Without these, a day's intervals add up to its
    history line."""
    problems = []
    if text and not text.endswith("\n"):
        problems.append("ends in a torn line: %r" % text[-80:])
    previous = {}  # date -> (minute, items) of its last line
    for number, line in enumerate(text.split("\n")[:-1], 1):
        parsed = fiveminline(line + "\n")
        if not parsed:
            problems.append("line %d is not whole: %r" % (number, line))
            continue
        date, minute, figures = parsed
        before = previous.get(date)
        if before and minute <= before[0]:
            problems.append("line %d is not after the previous line of %s" % (number, date))
        for label, pair in figures.items():
            if before and label in before[1] and (pair[0] < before[1][label][0]
                                                  or pair[1] < before[1][label][1]):
                problems.append("line %d: %s went down: %s" % (number, label, line))
            day = histories.get(date, {}).get(label)
            if day and (pair[0] > day[0] or pair[1] > day[1]):
                problems.append("line %d: %s is above its history line %s" % (number, label, day))
        previous[date] = (minute, figures)
    return problems


def total(figures, label="wan"):
    return sum(figures.get(label, [0, 0]))


def readfiles(guest):
    """The today, day and history files as the guest has them now."""
    out = guest.out("cd /run/byteloom 2>/dev/null && cat today; echo; echo @@; "
                    "cat /var/lib/byteloom/day 2>/dev/null; echo; echo @@; "
                    "cat /var/lib/byteloom/history 2>/dev/null; true")
    today, day, history = out.split("\n@@\n", 2)
    return today.rstrip("\n"), day.rstrip("\n"), history


def waitactive(guest, unit, seconds=60):
    guest.run("for i in $(seq %d); do systemctl is-active -q %s && exit 0; sleep 1; done; "
              "systemctl status --no-pager %s; exit 1" % (seconds, unit, unit), timeout=seconds + 30)


def waittoday(guest, seconds=30):
    """Waits until the today file exists and is written by a running daemon."""
    guest.run("for i in $(seq %d); do [ -s /run/byteloom/today ] && exit 0; sleep 1; done; exit 1"
              % seconds, timeout=seconds + 30)


def prepare(guest):
    """The payload disk mounted and the test network up, after any boot."""
    guest.run("mountpoint -q /mnt/payload || { mkdir -p /mnt/payload && mount -o ro /dev/vdb /mnt/payload; }; "
              "/mnt/payload/netsetup.sh")


def settle(guest):
    """Waits until two listings have taken everything sent so far."""
    guest.run("sleep 3")


# --- steps ------------------------------------------------------------------

def stepimage(source, build):
    if os.geteuid() != 0:
        raise Skip("needs root to build the image and boot it")
    for tool in ("qemu-system-x86_64", "qemu-img", "mmdebstrap", "mkfs.ext4", "dpkg-deb"):
        if not shutil.which(tool):
            raise Skip("%s is not installed (scripts/setup.sh installs it)" % tool)
    work = workdir(build)
    old = Guest(work)
    if old.running():
        old.cut()
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    payload = os.path.join(work, "payload")
    debs = os.path.join(payload, "debs")
    built = os.environ.get("BYTELOOM_PACKAGES")
    if built and glob.glob(os.path.join(built, "*.deb")):
        # scripts/test.sh built them once for the whole run, with the same command.
        shutil.copytree(built, debs)
    else:
        sh("sh", os.path.join(source, "scripts", "build-packages.sh"), debs, build)
    packages = sorted(glob.glob(os.path.join(debs, "*.deb")))
    if not packages:
        raise RuntimeError("scripts/build-packages.sh built no package")
    log("packages: " + " ".join(os.path.basename(p) for p in packages))
    wanted = vmlib.imagepackages(packages)
    log("image packages: " + " ".join(wanted))
    try:
        image, seconds = vmlib.ensureimage(wanted)
    except RuntimeError as error:
        raise Skip("%s (mmdebstrap needs Debian's mirror)" % error)
    log("image %s (%s)" % (image, "built in %.0f s" % seconds if seconds else "cached"))
    repack(packages, os.path.join(payload, "debs-new"), os.path.join(work, "repack"))
    with open(os.path.join(image, "kernel.release")) as f:
        release = f.read().strip()
    modulestate = prepmodule(source, build, packages, payload, release)
    for name in ("netsetup.sh", "traffic.sh"):
        shutil.copy(os.path.join(vmlib.HERE, "guest", name), payload)
    with open(os.path.join(payload, "byteloom.conf"), "w") as f:
        f.write(CONFIG)
    kvm = vmlib.kvmworks(image, work)
    log("accelerator: " + ("KVM" if kvm else "TCG (KVM does not boot here)"))
    guest = Guest(work)
    guest.state = {"image": image, "release": release, "kvm": kvm, "module": modulestate,
                   "packages": [vmlib.debfield(p, "Package") for p in packages]}
    guest.save()


def repack(packages, outdir, scratch):
    """A newer build of every package: the same files, a higher version, and
    exact dependencies among them raised with it."""
    os.makedirs(outdir)
    os.makedirs(scratch, exist_ok=True)
    own = [(vmlib.debfield(p, "Package"), vmlib.debfield(p, "Version")) for p in packages]
    for deb in packages:
        tree = os.path.join(scratch, os.path.basename(deb))
        sh("dpkg-deb", "-R", deb, tree)
        control = os.path.join(tree, "DEBIAN", "control")
        with open(control) as f:
            text = f.read()
        with open(control, "w") as f:
            f.write(raiseversion(text, own))
        sh("dpkg-deb", "-Zxz", "-b", tree, outdir)
    shutil.rmtree(scratch)


def raiseversion(control, own):
    """The control text of the newer build: its version and its exact
    dependencies on the packages OWN (name, version) raised by "+vmtest1"."""
    control = re.sub(r"^Version: (.*)$", lambda m: "Version: %s+vmtest1" % m.group(1), control,
                     count=1, flags=re.M)
    for name, version in own:
        control = re.sub(r"(?<![\w.+-])%s \(= %s\)" % (re.escape(name), re.escape(version)),
                         "%s (= %s+vmtest1)" % (name, version), control)
    return control


def prepmodule(source, build, packages, payload, release):
    """'dkms' when a DKMS package builds the module in the guest; else the
    module built here for the guest's kernel ('host'), or why it couldn't be."""
    if any(re.search(r"-dkms_[^/]*\.deb$", p) for p in packages):
        return "dkms"
    kdir = "/usr/src/linux-headers-%s" % release
    out = os.path.join(payload, "module")
    script = os.path.join(source, "kernel", "build-dummy.sh")
    result = subprocess.run(["sh", script, kdir, "", out, os.path.join(source, "kernel", "Kbuild")],
                            capture_output=True, text=True)
    if result.returncode != 0:
        return "the dummy module could not be built for %s: %s" % (release, result.stderr[-400:])
    keep = {"dummy.ko", "kernel.release"}
    for name in os.listdir(out):
        if name not in keep:
            path = os.path.join(out, name)
            shutil.rmtree(path) if os.path.isdir(path) else os.unlink(path)
    # The modprobe.d file as the build configured it, the one it installs.
    shutil.copy(os.path.join(build, "kernel", "dummy.conf"), out)
    return "host"


def makepayload(work):
    payload = os.path.join(work, "payload")
    size = int(sh("du", "-sm", payload).split()[0]) + 64
    image = os.path.join(work, "payload.img")
    if os.path.exists(image):
        os.unlink(image)
    sh("mkfs.ext4", "-q", "-L", "payload", "-d", payload, image, "%dM" % size)


def stepdeploy(guest, checks):
    image = guest.state["image"]
    disk = guest.path("disk.qcow2")
    if os.path.exists(disk):
        os.unlink(disk)
    sh("qemu-img", "create", "-q", "-f", "qcow2", "-F", "raw", "-b",
       os.path.join(image, "disk.raw"), disk)
    makepayload(guest.workdir)
    start = time.monotonic()
    guest.boot()
    log("booted in %.0f s" % (time.monotonic() - start))
    prepare(guest)
    # Offline: the image has no package sources, so apt can only take what
    # the image holds and the files given.
    start = time.monotonic()
    status, out = guest.run("cd /mnt/payload/debs && DEBIAN_FRONTEND=noninteractive "
                            "apt-get install -y ./*.deb", timeout=900, check=False)
    log("apt-get install ./*.deb: status %d in %.0f s" % (status, time.monotonic() - start))
    if not checks.check("apt-get install ./*.deb", 0, status):
        print(out)
        return
    for package in guest.state["packages"]:
        version = guest.out("dpkg-query -W -f='${Status} ${Version}' %s || true" % package)
        checks.true("%s installed" % package, version.startswith("install ok installed"), version)
    guest.run("install -d /etc/byteloom && cp /mnt/payload/byteloom.conf /etc/byteloom/ && "
              "systemctl restart byteloom.service && "
              "systemctl restart byteloom-exporter.service")
    guest.state["started"] = guest.guestnow()
    guest.save()


def stepservices(guest, checks):
    # Both units have run 20 s under systemd without a restart.
    left = guest.state.get("started", 0) + 22 - guest.guestnow()
    if left > 0:
        time.sleep(left)
    for unit in ("byteloom.service", "byteloom-exporter.service"):
        props = dict(line.split("=", 1) for line in guest.out(
            "systemctl show -p ActiveState -p SubState -p NRestarts -p ExecMainStatus %s" % unit
        ).split("\n") if "=" in line)
        checks.check(unit + " state", "active running 0",
                     "%s %s %s" % (props.get("ActiveState"), props.get("SubState"),
                                   props.get("NRestarts")))
        live = score(guest, unit, "")
        offline = score(guest, unit, "--offline=true /lib/systemd/system/%s" % unit)
        log("%s: systemd-analyze security %s live, %s offline" % (unit, live, offline))
        checks.true(unit + " exposure scored", live is not None and offline is not None)
        if live is not None and offline is not None:
            checks.true("%s live exposure %.1f no worse than offline %.1f" % (unit, live, offline),
                        live <= offline)
    journal = guest.out("journalctl -b --no-pager -o cat -u byteloom.service "
                        "-u byteloom-exporter.service; journalctl -b -k --no-pager -o cat")
    bad = [line for line in journal.split("\n")
           if re.search(r"status=31/SYS|type=1326|audit.*SECCOMP", line)]
    checks.check("seccomp kills in the journal", [], bad)


def score(guest, unit, args):
    out = guest.out("systemd-analyze security --no-pager %s 2>&1 | tail -n 3" % (args or unit))
    match = re.search(r"Overall exposure level for \S+: ([0-9.]+)", out)
    return float(match.group(1)) if match else None


def stepmetrics(guest):
    """label -> [in, out] of byteloom_day_bytes from the exporter."""
    out = guest.out("curl -sf http://127.0.0.1:9468/metrics")
    result = {}
    for label, direction, value in re.findall(
            r'^byteloom_day_bytes\{label="([^"]*)",direction="(in|out)"\} (\d+)$', out, re.M):
        result.setdefault(label, [0, 0])[0 if direction == "in" else 1] = int(value)
    return result


def steptraffic(guest, checks):
    prepare(guest)
    waittoday(guest)
    settle(guest)
    before = items(readfiles(guest)[0]).get("wan", [0, 0])
    count, size = BURST
    # Paced, so the listings of about ten seconds all meet datagrams in flight.
    start = time.monotonic()
    guest.run("/mnt/payload/traffic.sh %d %d 0.005 10.77.0.2 far:10.77.0.1" % (count, size),
              timeout=600)
    log("sent %d x %d bytes each way in %.1f s" % (count, size + 28, time.monotonic() - start))
    settle(guest)
    after = items(readfiles(guest)[0]).get("wan", [0, 0])
    sent = count * (size + 28)
    counted = [after[0] - before[0], after[1] - before[1]]
    log("counted in %d, out %d of %d bytes each way" % (counted[0], counted[1], sent))
    checks.check("bytes counted in and out on vmwan (today file)", [sent, sent], counted)
    checks.check("byteloom_day_bytes of wan equals the today file", after, stepmetrics(guest).get("wan"))


def stepmodule(guest, checks):
    how = guest.state.get("module")
    release = guest.state["release"]
    if how == "host":
        guest.run("install -D -m 644 /mnt/payload/module/dummy.ko /lib/modules/%s/extra/dummy.ko && "
                  "install -D -m 644 /mnt/payload/module/dummy.conf /lib/modprobe.d/dummy.conf && "
                  "depmod %s" % (release, release))
        shipped = "/lib/modprobe.d/dummy.conf"
    elif how == "dkms":
        status = guest.out("dkms status 2>&1")
        log("dkms status: " + status.strip())
        checks.true("DKMS built and installed the module for " + release,
                    re.search(r"%s.*installed" % re.escape(release), status), status)
        shipped = guest.out("dpkg -L %s | grep '/modprobe.d/.*[.]conf$' | head -n 1 || true"
                            % " ".join(guest.state["packages"])).strip()
    else:
        checks.fail(str(how))
        return
    path = guest.out("modinfo -n dummy").strip()
    log("modprobe dummy loads " + path)
    checks.true("the loaded module is the project's, not the kernel's own",
                "/kernel/drivers/" not in path, path)
    want = guest.out("sed -n 's/^options dummy .*numdummies=\\([0-9]*\\).*/\\1/p' %s | tail -n 1"
                     % shipped).strip()
    checks.true("the shipped modprobe.d file %s sets numdummies" % shipped, want.isdigit(), want)
    guest.run("modprobe -r dummy 2>/dev/null; modprobe dummy")
    made = guest.out("ls /sys/class/net | grep -c '^dummy[0-9]' || true").strip()
    checks.check("dummyN devices after modprobe dummy (as %s says)" % shipped, want, made)
    # The first device carries traffic the daemon counts, made by hand if needed.
    # IPv6 off on it: its router solicitations would be counted too.
    guest.run("ip link show dummy0 >/dev/null 2>&1 || ip link add dummy0 type dummy; "
              "sysctl -qw net.ipv6.conf.dummy0.disable_ipv6=1; "
              "ip addr add 10.78.0.1/24 dev dummy0 && ip link set dummy0 up")
    settle(guest)
    before = items(readfiles(guest)[0]).get("dum", [0, 0])
    count, size = 200, 488
    guest.run("/mnt/payload/traffic.sh %d %d 0 10.78.0.2" % (count, size))
    settle(guest)
    after = items(readfiles(guest)[0]).get("dum", [0, 0])
    checks.check("bytes sent out of dummy0, counted", [0, count * (size + 28)],
                 [after[0] - before[0], after[1] - before[1]])
    guest.run("modprobe -r dummy")
    checks.check("dummy unloaded", "gone", guest.out("[ -e /sys/module/dummy ] && echo loaded || echo gone").strip())


def savedboot(guest):
    """The boot id in the saved counter readings, or None without them (a
    backend that zeroes as it lists saves none)."""
    text = guest.out("cat /var/lib/byteloom/day.counters 2>/dev/null; true")
    for line in text.splitlines():
        if line.startswith("boot "):
            return line[5:]
    return None


def steprestart(guest, checks):
    prepare(guest)
    waittoday(guest)
    guest.run("/mnt/payload/traffic.sh 100 488 0 10.77.0.2 far:10.77.0.1")
    settle(guest)
    guest.run("systemctl stop byteloom.service")
    today, day, _ = readfiles(guest)
    saved = dayline(day)
    checks.true("the day file after a stop is one dated line", saved, day)
    if not saved:
        return
    log("saved at stop: " + day)
    boot = guest.out("cat /proc/sys/kernel/random/boot_id").strip()
    readings = savedboot(guest)
    log("saved counter readings: %s" % ("boot " + readings if readings is not None else "none"))
    if readings is not None:
        checks.check("the saved counter readings name this boot", boot, readings)
    guest.run("systemctl start byteloom.service")
    waitactive(guest, "byteloom.service")
    settle(guest)
    checks.check("today's totals after stop and start", saved[1], items(readfiles(guest)[0]))
    boot = guest.reboot()
    log("rebooted cleanly (boot %s)" % boot[:8])
    waitactive(guest, "byteloom.service", 120)
    waittoday(guest)
    settle(guest)
    checks.check("today's totals after a clean reboot", saved[1], items(readfiles(guest)[0]))
    if readings is not None:
        said = guest.out("journalctl -b --no-pager -o cat -u byteloom.service | "
                         "grep 'ignored the saved counter readings' || true")
        checks.true("the readings of the boot before are set aside",
                    "before the system last started" in said, said)
    # More than before the reboot: with the old boot's readings taken for this
    # one's, the count would fall short by them.
    prepare(guest)
    before = items(readfiles(guest)[0]).get("wan", [0, 0])
    count, size = 300, 488
    guest.run("/mnt/payload/traffic.sh %d %d 0 10.77.0.2 far:10.77.0.1" % (count, size), timeout=600)
    settle(guest)
    after = items(readfiles(guest)[0]).get("wan", [0, 0])
    sent = count * (size + 28)
    log("sent %d bytes each way after the reboot" % sent)
    checks.check("bytes counted after the reboot", [sent, sent],
                 [after[0] - before[0], after[1] - before[1]])
    stops = guest.out("journalctl -b -1 --no-pager -o cat -u byteloom.service | tail -n 5")
    checks.true("the daemon stopped cleanly at the reboot", "Deactivated successfully" in stops, stops)


def steppowercut(guest, checks, rounds=None, seed=None):
    rounds = rounds or int(os.environ.get("BYTELOOM_VM_CUTS", "3"))
    seed = seed if seed is not None else int(os.environ.get("BYTELOOM_VM_SEED", time.time()))
    log("power cuts: %d rounds, seed %d" % (rounds, seed))
    rng = random.Random(seed)
    worst, allowed = 0, 0
    for number in range(rounds):
        kind = "midnight" if number % 2 == 0 else "minute"
        before = checks.failures
        lost = powercutround(guest, checks, number + 1, kind, rng)
        worst = max([worst] + [l[0] for l in lost.values()])
        allowed = max([allowed] + [l[1] for l in lost.values()])
        if checks.failures != before:
            log("round %d failed; journal before the cut:\n" % (number + 1) + guest.out(
                "journalctl -b -1 --no-pager -o short-precise -u byteloom.service | tail -n 15"))
    print("powercuts: %d rounds, %d failed checks, at most %d bytes of a day lost "
          "(a minute's traffic: %d)" % (rounds, checks.failures, worst, allowed), flush=True)


# traffic.sh waits 5 ms after each datagram, so neither way carries more.
MAXRATE = 2 * 516 / 0.005


def powercutround(guest, checks, number, kind, rng):
    """One cut: the clock placed before midnight or a minute's end, steady
    traffic, QEMU killed at a random moment around it, then the checks after
    the next boot."""
    prepare(guest)
    # Always forward: a day or more after the guest's present date. The
    # service starts half a minute early: setting up the chains takes up to
    # 15 s under emulation.
    base = (int(guest.guestnow()) // DAY + 1 + number) * DAY
    if kind == "midnight":
        target, window = base + DAY, (-8, 8)
    else:
        target, window = base + 12 * 3600 + 35 * 60, (-4, 6)
    guest.run("systemctl stop byteloom.service")
    guest.setclock(target - 35)
    guest.run("systemctl start byteloom.service")
    waittoday(guest)
    guest.run("setsid /mnt/payload/traffic.sh 1000000 488 0.005 10.77.0.2 far:10.77.0.1 "
              ">/dev/null 2>&1 < /dev/null &")
    cutat = target + rng.uniform(*window)
    observations = []  # (guest time, today items, day file text, history)
    while guest.guestnow() < cutat - 0.8:
        today, day, history = readfiles(guest)
        observations.append((guest.guestnow(), items(today), day, history))
        time.sleep(0.3)
    time.sleep(max(0.0, cutat - guest.guestnow()))
    cut = guest.guestnow()
    guest.cut()
    log("round %d (%s): cut at %s.%d" % (number, kind, time.strftime("%H:%M:%S", time.gmtime(cut)),
                                         int((cut % 1) * 10)))
    guest.boot()
    return aftercut(guest, checks, number, cut, observations)


def dateof(t):
    return time.strftime("%Y-%m-%d", time.gmtime(t))


def aftercut(guest, checks, number, cut, observations):
    prefix = "round %d: " % number
    fsck = guest.out("dumpe2fs -h /dev/vda 2>/dev/null | grep -i -e '^filesystem state' -e 'error count'; "
                     "journalctl -b -k --no-pager -o cat | grep -i 'ext4-fs error' || true")
    checks.true(prefix + "the file system is clean after the cut",
                re.search(r"^Filesystem state:\s+clean\s*$", fsck, re.M) and "error" not in fsck.lower(),
                fsck)
    waitactive(guest, "byteloom.service", 120)
    waittoday(guest)
    today, day, history = readfiles(guest)
    lines = history.split("\n")
    checks.true(prefix + "the history ends with a whole line", history == "" or history.endswith("\n"),
                repr(history[-80:]))
    parsed = [dayline(line + "\n") for line in lines[:-1]]
    checks.true(prefix + "every history line is whole", all(parsed), history)
    dates = [p[0] for p in parsed if p]
    checks.check(prefix + "no date twice in the history", len(set(dates)), len(dates))
    checks.check(prefix + "history dates in order", sorted(dates), dates)
    checks.true(prefix + "the day file parses", dayline(day), repr(day))
    torn = guest.out("cat /var/lib/byteloom/history.torn 2>/dev/null || true")
    if torn:
        log(prefix + "a torn history line was moved aside: " + torn)
    durable = [o[3] for o in observations if o[0] <= cut - 2]
    if durable:
        checks.true(prefix + "the history keeps every line it had before the cut",
                    history.startswith(durable[-1]), "before:\n%safter:\n%s" % (durable[-1], history))
    # The files may lag the clock by a cycle: readings just around midnight
    # belong to no day for sure and bound nothing.
    clear = [o for o in observations if not -1.5 <= (o[0] + 1.5) % DAY - 1.5 <= 2.5]
    histories = {p[0]: p[1] for p in parsed if p}
    fivemin = guest.out("cat /var/lib/byteloom/history.5min 2>/dev/null; true")
    problems = fiveminproblems(fivemin, histories)
    checks.true(prefix + "the five-minute file holds whole lines, and each day's intervals "
                "add up to its history line", not problems, "\n".join(problems[:10]))
    rate = measuredrate(clear)
    lost = {}
    for date in sorted({dateof(o[0]) for o in clear}):
        ofday = [o for o in clear if dateof(o[0]) == date]
        dayend = min(cut, (int(ofday[0][0]) // DAY + 1) * DAY)
        if date != dateof(guest.guestnow()):
            checks.true(prefix + "finished day %s is in the history" % date, date in histories, history)
            kept = histories.get(date, {})
        else:
            kept = items(today)
        lost[date] = boundloss(checks, prefix + date, date, observations, ofday, dayend, kept, rate)
    log(prefix + "kept " + ", ".join("%s: %d bytes lost" % (d, l[0]) for d, l in lost.items())
        + " (a minute's traffic: %d)" % int(rate * 60))
    return lost


def measuredrate(observations):
    """Bytes a second counted on wan, from readings on one day."""
    gained, seconds = 0, 0.0
    for a, b in zip(observations, observations[1:]):
        if dateof(a[0]) == dateof(b[0]) and total(b[1]) >= total(a[1]):
            gained += total(b[1]) - total(a[1])
            seconds += b[0] - a[0]
    return gained / seconds if seconds else 0.0


def boundloss(checks, name, date, observations, ofday, dayend, kept, rate):
    """A day kept after a cut holds at least what the daemon had a minute
    before the day's end (or the cut) and at least every day file seen
    written two seconds before it; and no more than could have been counted
    by then. Returns (estimated bytes lost, a minute's traffic)."""
    got = total(kept)
    floor = [total(o[1]) for o in ofday if o[0] <= dayend - 62]
    for o in observations:
        saved = dayline(o[2])
        if saved and saved[0] == date and o[0] <= dayend - 2:
            floor.append(total(saved[1]))
    floor = max(floor + [0])
    last = ofday[-1]
    ceiling = total(last[1]) + MAXRATE * (dayend - last[0] + 1.5) + 2 * 516
    checks.true("%s: kept %d, at least the last minute's %d" % (name, got, floor), got >= floor)
    checks.true("%s: kept %d, no more than could be counted (%.0f)" % (name, got, ceiling),
                got <= ceiling)
    estimate = total(last[1]) + rate * max(0.0, dayend - last[0])
    return (max(0, int(estimate - got)), int(rate * 60))


def stepupgrade(guest, checks):
    prepare(guest)
    waittoday(guest)
    guest.run("systemctl is-active -q byteloom.service")
    guest.run("/mnt/payload/traffic.sh 100 488 0 10.77.0.2 far:10.77.0.1")
    settle(guest)
    today, _, history = readfiles(guest)
    before = items(today)
    status, out = guest.run("cd /mnt/payload/debs-new && DEBIAN_FRONTEND=noninteractive "
                            "apt-get install -y ./*.deb", timeout=900, check=False)
    if not checks.check("apt-get install of the newer build", 0, status):
        print(out)
    for package in guest.state["packages"]:
        version = guest.out("dpkg-query -W -f='${Version}' %s" % package)
        checks.true("%s upgraded" % package, version.endswith("+vmtest1"), version)
    waitactive(guest, "byteloom.service")
    waitactive(guest, "byteloom-exporter.service")
    settle(guest)
    today, _, historyafter = readfiles(guest)
    checks.check("the history across the upgrade", history, historyafter)
    checks.check("the running day across the upgrade", before, items(today))
    status, out = guest.run("DEBIAN_FRONTEND=noninteractive apt-get purge -y %s"
                            % " ".join(guest.state["packages"]), timeout=600, check=False)
    if not checks.check("apt-get purge", 0, status):
        print(out)
    left = guest.out(
        "for u in byteloom byteloom-exporter; do systemctl is-active -q $u.service && echo $u running; "
        "[ -e /lib/systemd/system/$u.service ] && echo $u.service left; "
        "systemctl list-unit-files $u.service | grep -q $u && echo $u.service known; done; "
        "pgrep -x byteloom >/dev/null && echo daemon process; "
        "iptables -t mangle -S 2>/dev/null | grep RTCHARTS; "
        "ls -d /var/lib/byteloom /run/byteloom /usr/lib/byteloom 2>/dev/null; true")
    checks.check("left after purge", "", left.strip())


def stephalt(guest, checks):
    clean = guest.poweroff()
    checks.true("the guest powered off by itself", clean, guest.consoletail(10))
    raw = guest.path("check.raw")
    sh("qemu-img", "convert", "-O", "raw", guest.path("disk.qcow2"), raw)
    result = subprocess.run(["e2fsck", "-fn", raw], capture_output=True, text=True)
    checks.check("e2fsck -fn of the guest's disk", 0, result.returncode)
    if result.returncode:
        print(result.stdout + result.stderr)
    os.unlink(raw)
    os.unlink(guest.path("disk.qcow2"))


STEPS = {
    "deploy": stepdeploy, "services": stepservices, "traffic": steptraffic,
    "module": stepmodule, "restart": steprestart, "powercut": steppowercut,
    "upgrade": stepupgrade, "halt": stephalt,
}


def main():
    step, source, build = sys.argv[1:4]
    try:
        if step == "image":
            stepimage(source, build)
            print("all checks passed")
            return 0
        guest = Guest(workdir(build))
        if "image" not in guest.state:
            raise Skip("no guest image (the vm.image step skipped or failed)")
        if step != "deploy" and not guest.running():
            raise RuntimeError("the guest is not running (vm.deploy failed?)")
        checks = Checks()
        STEPS[step](guest, checks)
        checks.finish()
    except Skip as reason:
        print("SKIP: %s" % reason)
        return vmlib.SKIP
    return 0


if __name__ == "__main__":
    sys.exit(main())
