package com.quillora.braidNet.nativeTuntap;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.stream.Stream;
import jnitest.Descriptors;

/** Checks and tools around the process: privileges, namespaces, descriptors. */
final class TestHost {
    private TestHost() {}

    /** The TUN device's address in the tests' own namespace, and a peer routed through it. */
    static final byte[] LOCAL = {(byte) 192, 0, 2, 1};
    static final byte[] PEER = {(byte) 192, 0, 2, 2};

    /** An IPv4/UDP packet from PEER:srcPort to LOCAL:dstPort (UDP checksum left 0). */
    static byte[] udpToLocal(int srcPort, int dstPort, byte[] payload) {
        ByteBuffer p = ByteBuffer.allocate(28 + payload.length);
        p.put((byte) 0x45).put((byte) 0).putShort((short) p.capacity()).putInt(0);
        p.put((byte) 64).put((byte) 17).putShort((short) 0).put(PEER).put(LOCAL);
        p.putShort((short) srcPort).putShort((short) dstPort)
                .putShort((short) (8 + payload.length)).putShort((short) 0).put(payload);
        byte[] b = p.array();
        int sum = 0;
        for (int i = 0; i < 20; i += 2) sum += ((b[i] & 0xff) << 8) | (b[i + 1] & 0xff);
        while ((sum >> 16) != 0) sum = (sum & 0xffff) + (sum >> 16);
        b[10] = (byte) (~sum >> 8);
        b[11] = (byte) ~sum;
        return b;
    }


    static boolean isRoot() {
        return Libc.getuid() == 0;
    }

    /**
     * Skips unless the JVM is root inside a network namespace of its own, so a
     * test never adds a device to the host's network.
     */
    static void assumeRootInPrivateNetns() throws IOException {
        assumeTrue(isRoot(), "needs root to create TUN devices: run ctest as root (CI does)");
        // netns-run.sh names the namespace it made; any other is the host's.
        String made = System.getenv("TUNTAP_TEST_NETNS");
        Path mine = Files.readSymbolicLink(Paths.get("/proc/self/ns/net"));
        assumeTrue(made != null && made.equals(mine.toString()),
                "not in a network namespace of the test's own: run through ctest, which starts"
                        + " the JVM under netns-run.sh");
    }

    /** Runs ip(8) with the arguments and fails the test if it fails. */
    /**
     * Opens the TUN device dev, gives it LOCAL/24 and brings it up, inside the test's own
     * namespace; skips without root there.
     */
    static Tuntap openAddressedDevice(String dev) throws IOException, InterruptedException {
        assumeRootInPrivateNetns();
        assertEquals(0, Tuntap.initLib());
        Tuntap tun = new Tuntap();
        assertEquals(0, tun.openTunDevice(dev));
        // No IPv6 chatter (router solicitations) on the device.
        Path v6 = Paths.get("/proc/sys/net/ipv6/conf", dev, "disable_ipv6");
        if (Files.exists(v6)) Files.writeString(v6, "1");
        ip("addr", "add", "192.0.2.1/24", "dev", dev);
        ip("link", "set", dev, "up");
        return tun;
    }

    static void ip(String... args) throws IOException, InterruptedException {
        String[] cmd = Stream.concat(Stream.of("ip"), Stream.of(args)).toArray(String[]::new);
        Process p = new ProcessBuilder(cmd).inheritIO().start();
        assertEquals(0, p.waitFor(), String.join(" ", cmd));
    }

    /** Number of this process's descriptors that are open on the TUN node. */
    static long tunDescriptors() throws IOException {
        return Descriptors.openOn("/dev/net/tun");
    }

    static int statusFlags(int fd) {
        return Libc.fcntl(fd, Libc.F_GETFL, 0);
    }

    static boolean isOpen(int fd) {
        return statusFlags(fd) != -1;
    }

    /** A pipe as {read end, write end}. */
    static int[] pipe() {
        int[] fds = new int[2];
        assertEquals(0, Libc.pipe(fds));
        return fds;
    }

    static void writeBytes(int fd, byte[] data) {
        assertEquals(data.length, Libc.write(fd, data, data.length));
    }

    static byte[] readBytes(int fd, int max) {
        byte[] buf = new byte[max];
        int n = Libc.read(fd, buf, max);
        return n < 0 ? null : java.util.Arrays.copyOf(buf, n);
    }

    interface Action {
        void run() throws Exception;
    }

    /** Runs the action with descriptor 2 sent to a file, and returns what it got. */
    static String stderrOf(Action action) throws Exception {
        Path file = Files.createTempFile("tuntap-stderr", ".txt");
        int saved = Libc.dup(2);
        int out = Libc.open(file.toString(), Libc.O_WRONLY | Libc.O_TRUNC, 0600);
        try {
            Libc.dup2(out, 2);
            action.run();
        } finally {
            Libc.dup2(saved, 2);
            Libc.close(out);
            Libc.close(saved);
        }
        String text = Files.readString(file, StandardCharsets.UTF_8);
        Files.delete(file);
        return text;
    }
}
