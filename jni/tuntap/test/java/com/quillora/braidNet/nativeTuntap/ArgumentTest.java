package com.quillora.braidNet.nativeTuntap;

import static com.quillora.braidNet.nativeTuntap.TestHost.pipe;
import static com.quillora.braidNet.nativeTuntap.TestHost.readBytes;
import static com.quillora.braidNet.nativeTuntap.TestHost.stderrOf;
import static com.quillora.braidNet.nativeTuntap.TestHost.writeBytes;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTimeoutPreemptively;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import com.quillora.braidNet.nativeTuntap.exceptions.ErrnoException;
import java.nio.ByteBuffer;
import java.time.Duration;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;

/** Buffers, lengths, descriptors and names that callers get wrong; on pipes, no root needed. */
class ArgumentTest {
    private static final int EBADF = 9;
    private static final int EFAULT = 14;
    private static final int EINVAL = 22;

    interface PacketCall {
        int call(int fd, ByteBuffer buffer, int length);
    }

    private static final PacketCall[] CALLS = {
        Tuntap::readByteBuffer, Tuntap::readByteBufferNonBlocking, Tuntap::writeByteBuffer,
    };

    private int[] pipe;

    @BeforeAll
    static void init() {
        assertEquals(0, Tuntap.initLib());
    }

    @BeforeEach
    void openPipe() {
        pipe = pipe();
    }

    @AfterEach
    void closePipe() {
        Libc.close(pipe[0]);
        Libc.close(pipe[1]);
    }

    private static void assertErrno(int errno, Executable call) {
        ErrnoException e = assertThrows(ErrnoException.class, call);
        assertEquals(errno, e.getErrno());
    }

    @Test
    void bufferWithoutDirectMemoryIsEfaultAndMovesNothing() {
        writeBytes(pipe[1], new byte[] {42});
        for (PacketCall c : CALLS) {
            int fd = c == CALLS[2] ? pipe[1] : pipe[0];
            assertErrno(EFAULT, () -> c.call(fd, ByteBuffer.allocate(64), 1));
            assertErrno(EFAULT, () -> c.call(fd, null, 1));
        }
        assertArrayEquals(new byte[] {42}, readBytes(pipe[0], 8), "one byte queued, no more");
    }

    @Test
    void lengthOutsideTheBufferIsEinvalAndMovesNothing() {
        writeBytes(pipe[1], new byte[] {42});
        ByteBuffer buf = ByteBuffer.allocateDirect(16);
        ByteBuffer slice = ByteBuffer.allocateDirect(64).position(60).slice();
        for (PacketCall c : CALLS) {
            int fd = c == CALLS[2] ? pipe[1] : pipe[0];
            assertErrno(EINVAL, () -> c.call(fd, buf, -1));
            assertErrno(EINVAL, () -> c.call(fd, buf, 17));
            assertErrno(EINVAL, () -> c.call(fd, buf, Integer.MIN_VALUE));
            assertErrno(EINVAL, () -> c.call(fd, slice, 5));
        }
        assertArrayEquals(new byte[] {42}, readBytes(pipe[0], 8), "one byte queued, no more");
    }

    @Test
    void fullCapacityIsAllowed() {
        ByteBuffer buf = ByteBuffer.allocateDirect(4).put(new byte[] {1, 2, 3, 4});
        assertEquals(4, Tuntap.writeByteBuffer(pipe[1], buf, 4));
        ByteBuffer in = ByteBuffer.allocateDirect(4);
        assertEquals(4, Tuntap.readByteBuffer(pipe[0], in, 4));
        assertEquals(0x01020304, in.getInt(0));
        assertEquals(0, Tuntap.writeByteBuffer(pipe[1], buf, 0), "empty write is no error");
    }

    @Test
    void failedReadsAndWritesCarryTheErrnoAndOnlyNonBlockingReadPrints() throws Exception {
        ByteBuffer buf = ByteBuffer.allocateDirect(16);
        int closed = -1; // never a descriptor, whatever opens meanwhile
        String quiet = stderrOf(() -> {
            assertErrno(EBADF, () -> Tuntap.readByteBuffer(closed, buf, 16));
            assertErrno(EBADF, () -> Tuntap.writeByteBuffer(closed, buf, 16));
        });
        assertEquals("", quiet);
        String loud = stderrOf(() -> {
            ErrnoException e = assertThrows(ErrnoException.class,
                    () -> Tuntap.readByteBufferNonBlocking(closed, buf, 16));
            assertEquals(EBADF, e.getErrno());
            assertEquals("Bad file descriptor", e.getMessage());
        });
        assertEquals("read: : Bad file descriptor\n", loud);
    }

    @Test
    void isDataReadyHandlesDescriptorsPastSelectsLimit() {
        int high = Libc.fcntl(pipe[0], Libc.F_DUPFD, 1500);
        assumeTrue(high >= 1500, "descriptor limit below 1501");
        try {
            assertFalse(Tuntap.isDataReady(high, 20));
            writeBytes(pipe[1], new byte[] {1});
            assertTrue(Tuntap.isDataReady(high, 2000));
        } finally {
            Libc.close(high);
        }
    }

    @Test
    void isDataReadyReportsAFailedWaitAsReady() {
        assertTimeoutPreemptively(Duration.ofSeconds(5), () -> {
            assertTrue(Tuntap.isDataReady(pipe[0], -1), "negative time-out");
            assertTrue(Tuntap.isDataReady(-1, 1000), "negative descriptor");
            int closed = Libc.dup(pipe[0]);
            Libc.close(closed);
            assertTrue(Tuntap.isDataReady(closed, 1000), "closed descriptor");
        });
    }

    @Test
    void isDataReadyTimeOuts() {
        long start = System.nanoTime();
        assertFalse(Tuntap.isDataReady(pipe[0], 0));
        assertFalse(Tuntap.isDataReady(pipe[0], 300));
        assertTrue(System.nanoTime() - start >= 250_000_000L, "waited for the time-out");
        writeBytes(pipe[1], new byte[] {1});
        assertTrue(Tuntap.isDataReady(pipe[0], 0));
    }

    @Test
    void nullNameThrowsNullPointerAndLeavesTheObject() {
        Tuntap t = new Tuntap();
        t.fd = 77;
        t.device = "before";
        assertThrows(NullPointerException.class, () -> t.openTunDevice(null));
        assertEquals(77, t.fd);
        assertEquals("before", t.device);
    }

    @Test
    void closeAndSetNonBlockingLeaveDescriptorsTheObjectDoesNotOwn() {
        assumeTrue(TestHost.isOpen(0), "standard input is closed");
        int stdinFlags = TestHost.statusFlags(0);
        Tuntap t = new Tuntap(); // fd 0: never opened
        assertFalse(t.setNonBlocking(true));
        t.close();
        t.close();
        assertEquals(0, t.fd);
        assertNull(t.device);
        assertEquals(stdinFlags, TestHost.statusFlags(0));
    }

    @Test
    void objectMethodsActOnTheOwnedDescriptor() {
        Tuntap t = new Tuntap();
        t.fd = Libc.dup(pipe[1]);
        int before = TestHost.statusFlags(t.fd);
        assertTrue(t.setNonBlocking(true));
        assertEquals(before | Libc.O_NONBLOCK, TestHost.statusFlags(t.fd));
        int owned = t.fd;
        t.close();
        assertEquals(0, t.fd);
        assertFalse(TestHost.isOpen(owned));
        assertFalse(t.setNonBlocking(false), "nothing left to switch");
    }
}
