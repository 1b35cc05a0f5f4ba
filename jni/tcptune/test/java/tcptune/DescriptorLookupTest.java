package tcptune;

import static com.quillora.braidNet.socketUtils.NativeSocketOpts.getServerSockFD;
import static com.quillora.braidNet.socketUtils.NativeSocketOpts.getSockFD;
import static org.junit.jupiter.api.Assertions.assertEquals;

import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.nio.channels.ServerSocketChannel;
import java.nio.channels.SocketChannel;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/** Descriptors found in the runtime's own socket objects, checked against /proc. */
class DescriptorLookupTest {
    private static final int[] IMPL_KINDS = {0, 2, -1};

    @BeforeEach
    void namespace() {
        Loopback.requireNamespace();
    }

    private static void assertEntry(int fd, int localPort, int remotePort, int state)
            throws Exception {
        KernelView.Entry e = KernelView.tcpEntry(fd);
        assertEquals(localPort, e.localPort(), "local port of descriptor " + fd);
        assertEquals(remotePort, e.remotePort(), "remote port of descriptor " + fd);
        assertEquals(state, e.state(), "state of descriptor " + fd);
    }

    @Test
    void connectedAndListeningSockets() throws Exception {
        try (Loopback lo = new Loopback()) {
            int port = lo.server.getLocalPort();
            int clientPort = lo.client.getLocalPort();
            for (int kind : IMPL_KINDS) {
                // the client Socket forwards to its real implementation
                assertEntry(getSockFD(lo.client, kind), clientPort, port, KernelView.ESTABLISHED);
                assertEntry(getSockFD(lo.accepted, kind), port, clientPort, KernelView.ESTABLISHED);
                assertEntry(getSockFD(lo.server, kind), port, 0, KernelView.LISTEN);
                // the server method takes the same walk for every kind but 1
                assertEquals(getSockFD(lo.client, kind), getServerSockFD(lo.client, kind));
                assertEquals(getSockFD(lo.server, kind), getServerSockFD(lo.server, kind));
            }
        }
    }

    @Test
    void channelSockets() throws Exception {
        try (ServerSocketChannel listener = ServerSocketChannel.open()) {
            listener.bind(new InetSocketAddress(InetAddress.getLoopbackAddress(), 0));
            int port = listener.socket().getLocalPort();
            try (SocketChannel client = SocketChannel.open(listener.getLocalAddress());
                 SocketChannel peer = listener.accept()) {
                int clientPort = client.socket().getLocalPort();
                assertEntry(getServerSockFD(listener.socket(), 1), port, 0, KernelView.LISTEN);
                assertEntry(getSockFD(client.socket(), 1), clientPort, port, KernelView.ESTABLISHED);
                assertEntry(getSockFD(peer.socket(), 1), port, clientPort, KernelView.ESTABLISHED);
            }
        }
    }
}
