package com.quillora.braidNet.nativeTuntap;

import static com.quillora.braidNet.nativeTuntap.TestHost.LOCAL;
import static com.quillora.braidNet.nativeTuntap.TestHost.PEER;
import static com.quillora.braidNet.nativeTuntap.TestHost.stderrOf;
import static com.quillora.braidNet.nativeTuntap.TestHost.statusFlags;
import static com.quillora.braidNet.nativeTuntap.TestHost.udpToLocal;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import com.quillora.braidNet.nativeTuntap.exceptions.ErrnoException;
import java.net.DatagramPacket;
import java.net.DatagramSocket;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.nio.ByteBuffer;
import java.nio.charset.StandardCharsets;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;

/**
 * Packets through a TUN device that the test made in its own network namespace:
 * the device holds 192.0.2.1/24 and the rest of that documentation range lies
 * behind it, so nothing leaves the namespace.
 */
class PacketTest {
    private static final String DEV = "tunpkt0";
    private static final int EAGAIN = 11;
    private static final int EINVAL = 22;

    private static Tuntap tun;

    @BeforeAll
    static void device() throws Exception {
        tun = TestHost.openAddressedDevice(DEV);
    }

    @AfterAll
    static void closeDevice() {
        if (tun != null) tun.close();
    }

    @AfterEach
    void blockingAndDrained() {
        assertTrue(tun.setNonBlocking(true));
        ByteBuffer buf = ByteBuffer.allocateDirect(2048);
        while (Tuntap.readByteBufferNonBlocking(tun.fd, buf, 2048) >= 0) {
            // discard
        }
        assertTrue(tun.setNonBlocking(false));
    }

    /** Reads packets until a UDP one for PEER; returns its payload. */
    private static String readUdpToPeer(ByteBuffer buf) {
        for (int tries = 0; tries < 10; tries++) {
            assertTrue(Tuntap.isDataReady(tun.fd, 5000), "no packet came");
            int n = Tuntap.readByteBuffer(tun.fd, buf, buf.capacity());
            assertTrue(n >= 20, "length " + n);
            boolean udpToPeer = (buf.get(0) >> 4) == 4 && buf.get(9) == 17
                    && buf.getInt(16) == ByteBuffer.wrap(PEER).getInt();
            if (udpToPeer) return new String(bytes(buf, 28, n - 28), StandardCharsets.US_ASCII);
        }
        return fail("no UDP packet for the peer among ten");
    }

    private static byte[] bytes(ByteBuffer buf, int from, int len) {
        byte[] out = new byte[len];
        buf.get(from, out);
        return out;
    }

    @Test
    void readsTheDatagramTheKernelRoutesIn() throws Exception {
        try (DatagramSocket s = new DatagramSocket(new InetSocketAddress("192.0.2.1", 0))) {
            byte[] msg = "hello tun".getBytes(StandardCharsets.US_ASCII);
            s.send(new DatagramPacket(msg, msg.length, InetAddress.getByAddress(PEER), 4000));
            ByteBuffer buf = ByteBuffer.allocateDirect(2048).position(100);
            assertEquals("hello tun", readUdpToPeer(buf));
            assertEquals(100, buf.position(), "position left alone, packet at the start");
        }
    }

    @Test
    void writtenPacketReachesASocket() throws Exception {
        try (DatagramSocket s = new DatagramSocket(new InetSocketAddress("192.0.2.1", 5000))) {
            s.setSoTimeout(5000);
            byte[] pkt = udpToLocal(4001, 5000, "world".getBytes(StandardCharsets.US_ASCII));
            ByteBuffer buf = ByteBuffer.allocateDirect(256).put(pkt).position(7);
            assertEquals(pkt.length, Tuntap.writeByteBuffer(tun.fd, buf, pkt.length));
            assertEquals(7, buf.position());
            DatagramPacket got = new DatagramPacket(new byte[64], 64);
            s.receive(got);
            assertEquals("world", new String(got.getData(), 0, got.getLength(),
                    StandardCharsets.US_ASCII));
            assertEquals(InetAddress.getByAddress(PEER), got.getAddress());
            assertEquals(4001, got.getPort());
        }
    }

    @Test
    void packetTheKernelRefusesThrows() {
        ByteBuffer junk = ByteBuffer.allocateDirect(20); // IP version 0
        ErrnoException e = assertThrows(ErrnoException.class,
                () -> Tuntap.writeByteBuffer(tun.fd, junk, 20));
        assertEquals(EINVAL, e.getErrno());
    }

    @Test
    void nonBlockingReadsOnAnEmptyQueue() throws Exception {
        int blockingFlags = statusFlags(tun.fd);
        assertTrue(tun.setNonBlocking(true));
        assertEquals(blockingFlags | Libc.O_NONBLOCK, statusFlags(tun.fd));
        ByteBuffer buf = ByteBuffer.allocateDirect(2048);
        String err = stderrOf(() -> {
            assertEquals(-11, Tuntap.readByteBufferNonBlocking(tun.fd, buf, 2048));
            ErrnoException e = assertThrows(ErrnoException.class,
                    () -> Tuntap.readByteBuffer(tun.fd, buf, 2048));
            assertEquals(EAGAIN, e.getErrno());
        });
        assertEquals("", err);
        assertTrue(tun.setNonBlocking(false));
        assertEquals(blockingFlags, statusFlags(tun.fd));
    }

    @Test
    void setNonBlockingLeavesOtherFlagsAlone() {
        int plain = statusFlags(tun.fd);
        assertEquals(0, Libc.fcntl(tun.fd, Libc.F_SETFL, plain | Libc.O_APPEND));
        try {
            assertTrue(tun.setNonBlocking(true));
            assertEquals(plain | Libc.O_APPEND | Libc.O_NONBLOCK, statusFlags(tun.fd));
            assertTrue(tun.setNonBlocking(false));
            assertEquals(plain | Libc.O_APPEND, statusFlags(tun.fd));
        } finally {
            Libc.fcntl(tun.fd, Libc.F_SETFL, plain);
        }
    }

    @Test
    void isDataReadyWaitsForAPacket() throws Exception {
        long start = System.nanoTime();
        assertFalse(Tuntap.isDataReady(tun.fd, 0));
        assertFalse(Tuntap.isDataReady(tun.fd, 300));
        assertTrue(System.nanoTime() - start >= 250_000_000L, "waited for the time-out");
        try (DatagramSocket s = new DatagramSocket(new InetSocketAddress("192.0.2.1", 0))) {
            s.send(new DatagramPacket(new byte[1], 1, InetAddress.getByAddress(PEER), 4002));
            assertTrue(Tuntap.isDataReady(tun.fd, 5000));
        }
    }
}
