package tcptune;

import static com.quillora.braidNet.socketUtils.NativeSocketOpts.getServerSockFD;
import static com.quillora.braidNet.socketUtils.NativeSocketOpts.getSockFD;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;

import java.io.FileDescriptor;
import java.net.ServerSocket;
import java.net.Socket;
import java.net.SocketImpl;
import java.nio.channels.ServerSocketChannel;
import java.nio.channels.SocketChannel;

import org.junit.jupiter.api.Test;

import tcptune.TestSockets.FixedImpl;
import tcptune.TestSockets.ForwardingImpl;

/** The walk on hand-made objects: selectors, missing and null fields, the delegate step. */
class WalkFailureTest {
    private static final int[] IMPL_KINDS = {0, 2, -1};

    @Test
    void everyKindButOneTakesTheImplementationWalk() {
        Socket s = TestSockets.withFd(FileDescriptor.err);
        for (int kind : IMPL_KINDS) {
            assertEquals(2, getSockFD(s, kind));
            assertEquals(2, getServerSockFD(s, kind));
        }
        assertThrows(NoSuchFieldError.class, () -> getSockFD(s, 1));
    }

    @Test
    void nullFieldsGiveMinusOneWithoutException() {
        for (int kind : IMPL_KINDS) {
            assertEquals(-1, getSockFD(TestSockets.withImpl(null), kind));
            assertEquals(-1, getServerSockFD(TestSockets.withImpl(null), kind));
        }
        assertEquals(-1, getSockFD(null, 0));
        assertEquals(-1, getSockFD(null, 1));
        assertEquals(-1, getServerSockFD(null, 1));
        assertEquals(-1, getSockFD(TestSockets.withFd(null), 0));
        assertEquals(-1, getSockFD(TestSockets.withFd(new FileDescriptor()), 0));
    }

    @Test
    void missingFieldsReachJavaAsNoSuchFieldError() throws Exception {
        assertThrows(NoSuchFieldError.class, () -> getSockFD(new Object(), 0));
        assertThrows(NoSuchFieldError.class, () -> getServerSockFD("socket", 2));
        assertThrows(NoSuchFieldError.class, () -> getSockFD(new Socket(), 1));
        assertThrows(NoSuchFieldError.class, () -> getServerSockFD(new Socket(), 1));
        try (ServerSocket plain = new ServerSocket();
             SocketChannel client = SocketChannel.open();
             ServerSocketChannel server = ServerSocketChannel.open()) {
            assertThrows(NoSuchFieldError.class, () -> getServerSockFD(plain, 1));
            // each channel walk reads only its own field
            assertThrows(NoSuchFieldError.class, () -> getServerSockFD(client.socket(), 1));
            assertThrows(NoSuchFieldError.class, () -> getSockFD(server.socket(), 1));
        }
    }

    @Test
    void forwardingImplementationIsFollowedOnce() {
        SocketImpl err = new FixedImpl(FileDescriptor.err);
        assertEquals(2, getSockFD(TestSockets.withImpl(new ForwardingImpl(null, err)), 0));
        assertEquals(2, getServerSockFD(TestSockets.withImpl(new ForwardingImpl(null, err)), -1));
        // its own descriptor object wins when it has one
        assertEquals(1, getSockFD(
                TestSockets.withImpl(new ForwardingImpl(FileDescriptor.out, err)), 0));
        assertEquals(-1, getSockFD(TestSockets.withImpl(new ForwardingImpl(null, null)), 0));
        assertEquals(-1, getSockFD(TestSockets.withImpl(
                new ForwardingImpl(null, new ForwardingImpl(null, err))), 0));
    }
}
