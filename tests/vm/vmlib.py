"""Boots the test guest under QEMU and drives it through its agent.

One guest at a time lives in a work directory: its copy-on-write overlay of
the cached image, the payload disk, the agent's socket, the serial console's
log and state.json (QEMU's process, the accelerator, the guest clock's
offset). Every test step opens the same directory, so steps share one boot.
"""

import base64
import datetime
import fcntl
import hashlib
import json
import os
import secrets
import shutil
import signal
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SKIP = 77

# What the guest needs besides the packages' own dependencies: an init,
# Debian's kernel with the headers and tools DKMS builds a module with, the
# packet filter and the tools the checks use.
BASE_PACKAGES = [
    "systemd", "systemd-sysv", "udev", "dbus", "kmod", "e2fsprogs", "procps",
    "linux-image-amd64", "linux-headers-amd64", "dkms", "gcc", "make",
    "iptables", "iproute2", "curl",
]


class Skip(Exception):
    pass


def log(message):
    print(message, flush=True)


def cachedir():
    return os.environ.get("BYTELOOM_VM_CACHE", "/var/cache/byteloom-vm")


def firstalternatives(field):
    """Package names of a Depends-style field, the first of each alternative."""
    names = []
    for clause in field.split(","):
        first = clause.split("|")[0].strip()
        name = first.split("(")[0].strip().split(":")[0]
        if name:
            names.append(name)
    return names


def debfield(deb, name):
    out = subprocess.run(["dpkg-deb", "-f", deb, name], capture_output=True, text=True, check=True)
    return out.stdout.strip()


def realpackage(name):
    """NAME, or for a virtual package the first package that provides it
    (apt refuses to choose one itself), as this machine's apt sees them."""
    shown = subprocess.run(["apt-cache", "show", "--no-all-versions", name],
                           capture_output=True, text=True)
    if shown.returncode == 0 and shown.stdout.strip():
        return name
    out = subprocess.run(["apt-cache", "showpkg", name], capture_output=True, text=True).stdout
    providers = out.split("Reverse Provides:", 1)[-1].split()
    return providers[0] if "Reverse Provides:" in out and providers else name


def imagepackages(debs):
    """The image's package list: the base set and every dependency of the
    project's packages that they do not provide themselves."""
    own = {debfield(deb, "Package") for deb in debs}
    wanted = set()
    for deb in debs:
        for field in ("Pre-Depends", "Depends"):
            wanted.update(firstalternatives(debfield(deb, field)))
    wanted = {realpackage(name) for name in wanted - own - set(BASE_PACKAGES)}
    return sorted(wanted | set(BASE_PACKAGES))


def imagekey(packages):
    """Names the cached image by its package list and the files that build it."""
    digest = hashlib.sha256("\n".join(packages).encode())
    for name in ("build-image.sh", "customize-image.sh", "guest/testagent", "guest/testagent.service"):
        with open(os.path.join(HERE, name), "rb") as f:
            digest.update(name.encode() + b"\0" + f.read())
    return digest.hexdigest()[:16]


def ensureimage(packages):
    """The directory of the cached image for this package list, built first
    when missing. Returns (directory, seconds spent building)."""
    root = cachedir()
    os.makedirs(root, exist_ok=True)
    image = os.path.join(root, imagekey(packages))
    with open(os.path.join(root, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if os.path.exists(os.path.join(image, "disk.raw")):
            os.utime(image)
            return image, 0.0
        listfile = os.path.join(root, "packages.%d" % os.getpid())
        with open(listfile, "w") as f:
            f.write("\n".join(packages) + "\n")
        start = time.monotonic()
        try:
            result = subprocess.run(["sh", os.path.join(HERE, "build-image.sh"), listfile, image])
        finally:
            os.unlink(listfile)
        if result.returncode != 0:
            raise RuntimeError("building the image failed")
        pruneimages(root, keep=image)
        return image, time.monotonic() - start


def pruneimages(root, keep, days=14):
    """Drops cached images unused for DAYS days (each is a few GB)."""
    for name in os.listdir(root):
        path = os.path.join(root, name)
        if path != keep and os.path.isdir(path) and time.time() - os.path.getmtime(path) > days * 86400:
            shutil.rmtree(path, ignore_errors=True)


def kvmworks(image, workdir):
    """Whether KVM boots this kernel: nested KVM on some hosts aborts at
    once or hangs before the kernel prints anything, so a short boot must
    reach the kernel's first user-space step."""
    if not os.access("/dev/kvm", os.R_OK | os.W_OK):
        return False
    console = os.path.join(workdir, "kvm-probe.log")
    args = ["qemu-system-x86_64", "-accel", "kvm", "-cpu", "host", "-m", "512", "-nodefaults",
            "-display", "none", "-nic", "none", "-no-reboot", "-serial", "file:" + console,
            "-kernel", os.path.join(image, "vmlinuz"), "-initrd", os.path.join(image, "initrd.img"),
            "-append", "console=ttyS0 panic=-1 rdinit=/bin/false"]
    try:
        proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except OSError:
        return False
    deadline = time.monotonic() + 15
    seen = False
    while time.monotonic() < deadline and proc.poll() is None and not seen:
        time.sleep(0.5)
        try:
            with open(console, errors="replace") as f:
                seen = "Run /bin/false" in f.read()
        except OSError:
            pass
    if proc.poll() is None:
        proc.kill()
    proc.wait()
    return seen


class Guest:
    def __init__(self, workdir):
        self.workdir = workdir
        self.statefile = os.path.join(workdir, "state.json")
        self.sock = None
        self.buffer = b""
        try:
            with open(self.statefile) as f:
                self.state = json.load(f)
        except OSError:
            self.state = {}

    def path(self, name):
        return os.path.join(self.workdir, name)

    def save(self):
        with open(self.statefile + ".tmp", "w") as f:
            json.dump(self.state, f)
        os.replace(self.statefile + ".tmp", self.statefile)

    # The guest's clock runs at host speed from the time it was set to.
    def guestnow(self):
        return time.time() + self.state.get("offset", 0.0)

    def setclock(self, when):
        """Sets the guest's clock to WHEN (seconds since the epoch)."""
        self.run("date -u -s @%.3f >/dev/null" % when)
        self.state["offset"] = when - time.time()
        self.save()

    def running(self):
        pid = self.state.get("pid")
        if not pid:
            return False
        # A killed QEMU holds its files (and the disk's lock) until its last
        # thread is gone; its first thread may be a zombie before that.
        try:
            with open("/proc/%d/stat" % pid) as f:
                stat = f.read()
            threads = len(os.listdir("/proc/%d/task" % pid))
        except OSError:
            return False
        zombie = stat.rsplit(")", 1)[1].split()[0] == "Z"
        return "(qemu-system" in stat and (not zombie or threads > 1)

    def boot(self, timeout=300):
        """Starts QEMU on the overlay and waits until the agent answers."""
        image = self.state["image"]
        rtc = datetime.datetime.fromtimestamp(self.guestnow(), datetime.timezone.utc)
        console = self.path("console.log")
        if os.path.exists(console):
            os.replace(console, self.path("console.%d.log" % self.state.get("boots", 0)))
        for name in ("agent.sock", "qemu.pid"):
            if os.path.exists(self.path(name)):
                os.unlink(self.path(name))
        accel = ["-accel", "kvm", "-cpu", "host"] if self.state.get("kvm") else ["-accel", "tcg"]
        args = ["qemu-system-x86_64", *accel, "-m", "1536", "-smp", "2", "-nodefaults",
                "-display", "none", "-nic", "none", "-serial", "file:" + console,
                "-kernel", os.path.join(image, "vmlinuz"),
                "-initrd", os.path.join(image, "initrd.img"),
                "-append", "root=/dev/vda ro console=ttyS0 net.ifnames=0 panic=10",
                "-drive", "file=%s,format=qcow2,if=virtio,cache=writeback" % self.path("disk.qcow2"),
                "-drive", "file=%s,format=raw,if=virtio,readonly=on" % self.path("payload.img"),
                "-device", "virtio-serial",
                "-chardev", "socket,id=agent,path=%s,server=on,wait=off" % self.path("agent.sock"),
                "-device", "virtserialport,chardev=agent,name=agent",
                "-rtc", "base=%s,clock=host" % rtc.strftime("%Y-%m-%dT%H:%M:%S"),
                "-daemonize", "-pidfile", self.path("qemu.pid")]
        # The disk's lock may outlive a killed QEMU by a moment.
        for attempt in range(20):
            started = subprocess.run(args, capture_output=True, text=True)
            if started.returncode == 0 or "lock" not in started.stderr:
                break
            time.sleep(0.5)
        if started.returncode != 0:
            raise RuntimeError("QEMU did not start: " + started.stderr)
        with open(self.path("qemu.pid")) as f:
            self.state["pid"] = int(f.read())
        self.state["boots"] = self.state.get("boots", 0) + 1
        self.save()
        self.close()
        self.waitagent(timeout)

    def waitagent(self, timeout, previousboot=None):
        """Waits until the agent answers (from another boot than PREVIOUSBOOT)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self.running():
                raise RuntimeError("QEMU ended during the boot; console:\n" + self.consoletail())
            try:
                status, out = self.run("cat /proc/sys/kernel/random/boot_id", timeout=5, check=False)
                if status == 0 and out.strip() != previousboot:
                    return out.strip()
            except (TimeoutError, OSError):
                self.close()
                time.sleep(1)
        raise TimeoutError("the guest's agent did not answer in %d s; console:\n%s"
                           % (timeout, self.consoletail()))

    def consoletail(self, lines=30):
        try:
            with open(self.path("console.log"), errors="replace") as f:
                return "".join(f.readlines()[-lines:])
        except OSError:
            return "(no console log)"

    def connect(self):
        if self.sock is None:
            self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            self.sock.connect(self.path("agent.sock"))
            self.buffer = b""

    def close(self):
        if self.sock is not None:
            self.sock.close()
            self.sock = None

    def run(self, script, timeout=120, check=True):
        """Runs SCRIPT with bash in the guest; returns (status, output)."""
        self.connect()
        token = secrets.token_hex(8)
        body = base64.b64encode(script.encode()).decode()
        self.sock.sendall(("%s %s\n" % (token, body)).encode())
        deadline = time.monotonic() + timeout
        while True:
            line = self.readline(deadline)
            parts = line.split(b" ", 2)
            if parts[0].decode(errors="replace") == token and len(parts) >= 2:
                status = int(parts[1])
                out = base64.b64decode(parts[2]).decode(errors="replace") if len(parts) > 2 else ""
                if check and status != 0:
                    raise RuntimeError("in the guest, exit status %d of:\n%s\n--- output:\n%s"
                                       % (status, script, out))
                return status, out

    def readline(self, deadline):
        while b"\n" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                self.close()
                raise TimeoutError("no answer from the guest's agent")
            self.sock.settimeout(left)
            try:
                data = self.sock.recv(65536)
            except socket.timeout:
                continue
            if not data:
                self.close()
                raise OSError("the agent's socket closed")
            self.buffer += data
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line

    def out(self, script, timeout=120):
        return self.run(script, timeout)[1]

    def cut(self):
        """Power cut: QEMU dies at once, with whatever the guest had not yet
        written to its disk."""
        self.close()
        pid = self.state.get("pid")
        if self.running():
            os.kill(pid, signal.SIGKILL)
        while self.running():
            time.sleep(0.05)

    def reboot(self, timeout=300):
        """A clean reboot from inside the guest; QEMU keeps running."""
        boot = self.out("cat /proc/sys/kernel/random/boot_id").strip()
        self.run("systemctl reboot >/dev/null 2>&1 &", check=False)
        self.close()
        time.sleep(2)
        return self.waitagent(timeout, previousboot=boot)

    def poweroff(self, timeout=120):
        if not self.running():
            return True
        self.run("systemctl poweroff >/dev/null 2>&1 &", check=False)
        self.close()
        deadline = time.monotonic() + timeout
        while self.running() and time.monotonic() < deadline:
            time.sleep(0.5)
        clean = not self.running()
        self.cut()
        return clean


class Checks:
    """Collects failed checks, so one step reports all of them."""

    def __init__(self):
        self.failures = 0

    def fail(self, message):
        print("FAIL: " + message, flush=True)
        self.failures += 1

    def check(self, name, expected, actual):
        if expected != actual:
            self.fail("%s\n  expected: %s\n  actual:   %s" % (name, expected, actual))
        return expected == actual

    def true(self, name, condition, detail=""):
        if not condition:
            self.fail(name + (": " + detail if detail else ""))
        return bool(condition)

    def finish(self):
        if self.failures:
            print("%d check(s) failed" % self.failures, flush=True)
            sys.exit(1)
        print("all checks passed", flush=True)
