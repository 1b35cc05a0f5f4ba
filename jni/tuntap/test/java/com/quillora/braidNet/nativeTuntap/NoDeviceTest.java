package com.quillora.braidNet.nativeTuntap;

import static com.quillora.braidNet.nativeTuntap.TestHost.stderrOf;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import com.quillora.braidNet.nativeTuntap.exceptions.ErrnoException;
import java.io.File;
import org.junit.jupiter.api.MethodOrderer;
import org.junit.jupiter.api.Order;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestMethodOrder;

/**
 * Runs in a JVM of its own where initLib is never called and, as root,
 * /dev/net is an empty directory in a private mount namespace.
 */
@TestMethodOrder(MethodOrderer.OrderAnnotation.class)
class NoDeviceTest {
    private static final int ENOENT = 2;

    @Test
    @Order(1)
    void objectMethodsWorkBeforeInitLib() {
        int[] pipe = TestHost.pipe();
        Tuntap t = new Tuntap();
        t.fd = pipe[1];
        assertTrue(t.setNonBlocking(true));
        assertEquals(Libc.O_NONBLOCK, TestHost.statusFlags(pipe[1]) & Libc.O_NONBLOCK);
        t.close();
        assertEquals(0, t.fd);
        assertFalse(TestHost.isOpen(pipe[1]));
        Libc.close(pipe[0]);
    }

    @Test
    @Order(2)
    void openWithoutTheTunNodeThrows() throws Exception {
        assumeTrue(TestHost.isRoot(), "needs root to hide /dev/net in a private mount namespace");
        assumeTrue(!new File("/dev/net/tun").exists(),
                "/dev/net/tun is visible: run through ctest, which hides it");
        Tuntap t = new Tuntap();
        t.fd = 5;
        t.device = "old";
        for (int named = 0; named < 2; named++) {
            boolean byName = named == 1;
            String err = stderrOf(() -> {
                ErrnoException e = assertThrows(ErrnoException.class,
                        () -> { if (byName) t.openTunDevice("x0"); else t.openTun(); });
                assertEquals(ENOENT, e.getErrno());
                assertEquals("No such file or directory", e.getMessage());
            });
            assertEquals("open: : No such file or directory\n", err);
            assertEquals(5, t.fd);
            assertEquals("old", t.device);
        }
    }
}
