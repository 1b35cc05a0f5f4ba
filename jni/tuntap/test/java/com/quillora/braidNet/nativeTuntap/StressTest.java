package com.quillora.braidNet.nativeTuntap;

import static com.quillora.braidNet.nativeTuntap.TestHost.LOCAL;
import static com.quillora.braidNet.nativeTuntap.TestHost.PEER;
import static com.quillora.braidNet.nativeTuntap.TestHost.udpToLocal;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.quillora.braidNet.nativeTuntap.exceptions.ErrnoException;
import java.net.DatagramPacket;
import java.net.DatagramSocket;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.SocketTimeoutException;
import java.nio.ByteBuffer;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.Queue;
import java.util.concurrent.ConcurrentLinkedQueue;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.Semaphore;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicIntegerArray;
import java.util.concurrent.atomic.AtomicLong;
import jnitest.Descriptors;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * Many threads on the library at once, in the test's own network namespace: readers,
 * writers and waiters sharing one TUN descriptor, and devices opened and closed in
 * parallel. Every thread has a bounded amount of work and a deadline. Senders wait for
 * a permit that the receiving side returns, so no queue overflows and every packet must
 * arrive exactly once, unchanged.
 */
class StressTest {
    private static final String DEV = "tunstress0";
    private static final int OUT_PORT = 7000;
    private static final int IN_PORT = 6000;
    private static final int PACKETS = 400;
    private static final int SENDERS = 2;
    private static final int READERS = 3;
    private static final int WRITERS = 3;
    private static final int WAITERS = 2;
    private static final int WINDOW = 64;
    private static final int EAGAIN = 11;
    private static final int EINVAL = 22;
    private static final long DEADLINE_NANOS = 8_000_000_000L;

    private static Tuntap tun;

    private final Queue<Throwable> failures = new ConcurrentLinkedQueue<>();
    private final List<Thread> threads = new ArrayList<>();
    private long deadline;

    @BeforeAll
    static void device() throws Exception {
        tun = TestHost.openAddressedDevice(DEV);
        assertTrue(tun.setNonBlocking(true), "readers race for each packet, so never block");
    }

    @AfterAll
    static void closeDevice() {
        if (tun != null) tun.close();
    }

    interface Body {
        void run() throws Exception;
    }

    private void start(String name, Body body) {
        Thread t = new Thread(() -> {
            try {
                body.run();
            } catch (Throwable e) {
                failures.add(e);
            }
        }, name);
        threads.add(t);
        t.start();
    }

    private void joinAll() throws Exception {
        for (Thread t : threads) {
            t.join(Math.max(1, (deadline - System.nanoTime()) / 1_000_000 + 2000));
            assertFalse(t.isAlive(), t.getName() + " still running past the deadline");
        }
        if (!failures.isEmpty()) {
            AssertionError e = new AssertionError(failures.size() + " thread(s) failed");
            failures.forEach(e::addSuppressed);
            throw e;
        }
    }

    private boolean late() {
        return System.nanoTime() > deadline;
    }

    private void acquire(Semaphore window) throws InterruptedException {
        long wait = Math.max(0, deadline - System.nanoTime());
        if (!window.tryAcquire(wait, TimeUnit.NANOSECONDS)) {
            throw new AssertionError("no permit came back: a packet was lost");
        }
    }

    /** Payload of packet seq of a thread: its tag, then a length and fill that vary. */
    private static byte[] payload(int thread, int seq) {
        byte[] p = new byte[8 + seq % 97];
        ByteBuffer.wrap(p).putInt(thread).putInt(seq);
        for (int i = 8; i < p.length; i++) p[i] = (byte) (seq + i);
        return p;
    }

    /** The packet index (thread * PACKETS + seq) if the payload is one of payload()'s. */
    private static int indexOf(ByteBuffer b, int off, int len) {
        if (len < 8) return -1;
        int thread = b.getInt(off);
        int seq = b.getInt(off + 4);
        if (thread < 0 || thread >= Math.max(SENDERS, WRITERS) || seq < 0 || seq >= PACKETS) {
            return -1;
        }
        if (len != 8 + seq % 97) return -1;
        for (int i = 8; i < len; i++) {
            if (b.get(off + i) != (byte) (seq + i)) return -1;
        }
        return thread * PACKETS + seq;
    }

    /** Marks one arrival; a second arrival of the same packet is a fault. */
    private static void arrived(AtomicIntegerArray seen, int index, String where) {
        int before = seen.getAndIncrement(index);
        if (before != 0) throw new AssertionError(where + ": packet " + index + " twice");
    }

    private static int missing(AtomicIntegerArray seen, int count) {
        int missing = 0;
        for (int i = 0; i < count; i++) missing += seen.get(i) == 0 ? 1 : 0;
        return missing;
    }

    /** Kernel to device: sockets send to PEER, the packets leave through the TUN device. */
    private void startOutbound(AtomicIntegerArray seen, Semaphore window, AtomicLong left) {
        InetSocketAddress peer = new InetSocketAddress("192.0.2.2", OUT_PORT);
        for (int s = 0; s < SENDERS; s++) {
            int thread = s;
            start("sender" + s, () -> {
                try (DatagramSocket socket = new DatagramSocket(
                        new InetSocketAddress("192.0.2.1", 0))) {
                    for (int seq = 0; seq < PACKETS; seq++) {
                        acquire(window);
                        byte[] p = payload(thread, seq);
                        socket.send(new DatagramPacket(p, p.length, peer));
                    }
                }
            });
        }
        for (int r = 0; r < READERS; r++) {
            boolean throwing = r % 2 == 1;
            start("reader" + r, () -> readOutbound(seen, window, left, throwing));
        }
    }

    /** Waits and reads until every outbound packet is in; odd readers take the throwing read. */
    private void readOutbound(AtomicIntegerArray seen, Semaphore window, AtomicLong left,
                              boolean throwing) {
        ByteBuffer buf = ByteBuffer.allocateDirect(2048);
        while (left.get() > 0 && !late()) {
            if (!Tuntap.isDataReady(tun.fd, 20)) continue;
            int n;
            if (throwing) {
                try {
                    n = Tuntap.readByteBuffer(tun.fd, buf, buf.capacity());
                } catch (ErrnoException e) {
                    assertEquals(EAGAIN, e.getErrno(), "another reader took it");
                    continue;
                }
            } else {
                n = Tuntap.readByteBufferNonBlocking(tun.fd, buf, buf.capacity());
                if (n == -EAGAIN) continue;
            }
            assertTrue(n >= 28, "packet of " + n + " bytes");
            assertEquals(n, buf.getShort(2) & 0xffff, "IP total length");
            boolean toPeer = buf.get(9) == 17 && buf.getInt(16) == ByteBuffer.wrap(PEER).getInt()
                    && (buf.getShort(22) & 0xffff) == OUT_PORT;
            if (!toPeer) continue;
            int index = indexOf(buf, 28, n - 28);
            assertTrue(index >= 0, "payload mangled");
            arrived(seen, index, "device read");
            left.decrementAndGet();
            window.release();
        }
    }

    /** Device to kernel: writers inject packets for a socket on LOCAL, which counts them. */
    private void startInbound(AtomicIntegerArray seen, Semaphore window, AtomicLong left,
                              DatagramSocket receiver) {
        for (int w = 0; w < WRITERS; w++) {
            int thread = w;
            start("writer" + w, () -> {
                ByteBuffer buf = ByteBuffer.allocateDirect(256);
                ByteBuffer junk = ByteBuffer.allocateDirect(20); // IP version 0
                for (int seq = 0; seq < PACKETS; seq++) {
                    acquire(window);
                    byte[] pkt = udpToLocal(4000 + thread, IN_PORT, payload(thread, seq));
                    buf.clear().put(pkt).clear();
                    assertEquals(pkt.length, Tuntap.writeByteBuffer(tun.fd, buf, pkt.length));
                    if (seq % 50 == 0) {
                        try {
                            Tuntap.writeByteBuffer(tun.fd, junk, 20);
                            throw new AssertionError("junk packet accepted");
                        } catch (ErrnoException e) {
                            assertEquals(EINVAL, e.getErrno());
                        }
                    }
                }
            });
        }
        start("receiver", () -> {
            DatagramPacket got = new DatagramPacket(new byte[256], 256);
            while (left.get() > 0 && !late()) {
                got.setLength(256); // receive() shrinks it to the last datagram
                try {
                    receiver.receive(got);
                } catch (SocketTimeoutException quiet) {
                    continue;
                }
                int index = indexOf(ByteBuffer.wrap(got.getData()), 0, got.getLength());
                assertTrue(index >= 0, "payload mangled");
                arrived(seen, index, "socket receive");
                left.decrementAndGet();
                window.release();
            }
        });
    }

    /** Threads that only wait on the descriptor and set its mode, until told to stop. */
    private void startWaiters(AtomicBoolean stop, AtomicLong waits) {
        for (int i = 0; i < WAITERS; i++) {
            int timeout = i;
            start("waiter" + i, () -> {
                while (!stop.get() && !late()) {
                    Tuntap.isDataReady(tun.fd, timeout);
                    assertTrue(tun.setNonBlocking(true));
                    waits.incrementAndGet();
                }
            });
        }
    }

    @Test
    void readersWritersAndWaitersShareOneDescriptor() throws Exception {
        Map<Integer, String> before = Descriptors.open();
        int outCount = SENDERS * PACKETS;
        int inCount = WRITERS * PACKETS;
        AtomicIntegerArray outSeen = new AtomicIntegerArray(outCount);
        AtomicIntegerArray inSeen = new AtomicIntegerArray(inCount);
        AtomicLong outLeft = new AtomicLong(outCount);
        AtomicLong inLeft = new AtomicLong(inCount);
        AtomicBoolean stop = new AtomicBoolean();
        AtomicLong waits = new AtomicLong();
        deadline = System.nanoTime() + DEADLINE_NANOS;
        try (DatagramSocket receiver = new DatagramSocket(
                new InetSocketAddress(InetAddress.getByAddress(LOCAL), IN_PORT))) {
            receiver.setSoTimeout(100);
            startOutbound(outSeen, new Semaphore(WINDOW), outLeft);
            startInbound(inSeen, new Semaphore(WINDOW), inLeft, receiver);
            startWaiters(stop, waits);
            while ((outLeft.get() > 0 || inLeft.get() > 0) && failures.isEmpty() && !late()) {
                Thread.sleep(10);
            }
            stop.set(true);
            joinAll();
        }
        assertEquals(0, missing(outSeen, outCount), "outbound packets never read");
        assertEquals(0, missing(inSeen, inCount), "inbound packets never received");
        assertTrue(waits.get() > 0);
        Descriptors.assertBackTo(before);
    }

    /** Lookups racing each other must each use their own thread's class reference. */
    @Test
    void initLibFromManyThreadsAtOnce() throws Exception {
        deadline = System.nanoTime() + DEADLINE_NANOS;
        CountDownLatch gate = new CountDownLatch(1);
        for (int i = 0; i < 4; i++) {
            start("initLib" + i, () -> {
                gate.await();
                for (int round = 0; round < 5000 && !late(); round++) {
                    assertEquals(0, Tuntap.initLib());
                }
            });
        }
        gate.countDown();
        joinAll();
    }

    /** One round of a short-lived device: open, wait, read nothing, close. */
    private static void openUseClose() {
        Tuntap t = new Tuntap();
        assertEquals(0, t.openTun());
        assertTrue(t.fd > 2 && t.device.matches("tun[0-9]+"), t.fd + " " + t.device);
        assertFalse(Tuntap.isDataReady(t.fd, 0));
        assertTrue(t.setNonBlocking(true));
        ByteBuffer buf = ByteBuffer.allocateDirect(64);
        assertEquals(-EAGAIN, Tuntap.readByteBufferNonBlocking(t.fd, buf, 64));
        t.close();
        assertEquals(0, t.fd);
    }

    @Test
    void devicesOpenedAndClosedFromManyThreads() throws Exception {
        Map<Integer, String> before = Descriptors.open();
        long tunBefore = TestHost.tunDescriptors();
        deadline = System.nanoTime() + DEADLINE_NANOS;
        for (int i = 0; i < 4; i++) {
            start("opener" + i, () -> {
                for (int round = 0; round < 25 && !late(); round++) openUseClose();
            });
        }
        joinAll();
        assertEquals(tunBefore, TestHost.tunDescriptors());
        Descriptors.assertBackTo(before);
    }
}
