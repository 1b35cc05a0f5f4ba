package tcptune;

import static com.quillora.braidNet.socketUtils.NativeSocketOpts.*;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.nio.ByteBuffer;
import java.nio.channels.ServerSocketChannel;
import java.nio.channels.SocketChannel;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/** Every method on a TCP connection over IPv6 (::1): the appliance's Java applications use
 *  both families, and an IPv6 socket has its own kernel structures. */
class Ipv6ConnectionTest {
    private static final String NUMBER = "(0|[1-9][0-9]*)";
    private static final String LINE = (NUMBER + ",").repeat(7) + "[a-z0-9_]+," + NUMBER;

    private InetAddress ipv6;

    @BeforeEach
    void namespace() throws Exception {
        Loopback.requireNamespace();
        ipv6 = InetAddress.getByName("::1");
    }

    /** The descriptor's socket is the IPv6 one: ::1 at both ends, not a mapped IPv4 address. */
    private static void assertIpv6Entry(int fd, int localPort, int remotePort, int state)
            throws Exception {
        KernelView.Entry e = KernelView.tcpEntry(fd);
        assertEquals(KernelView.IPV6_LOOPBACK, e.localAddress(), "local address of " + fd);
        assertEquals(localPort, e.localPort(), "local port of descriptor " + fd);
        assertEquals(remotePort, e.remotePort(), "remote port of descriptor " + fd);
        assertEquals(state, e.state(), "state of descriptor " + fd);
        if (state == KernelView.ESTABLISHED) {
            assertEquals(KernelView.IPV6_LOOPBACK, e.remoteAddress(), "remote address of " + fd);
        }
    }

    @Test
    void descriptorsOfSocketsAndChannels() throws Exception {
        try (Loopback lo = new Loopback(ipv6)) {
            int port = lo.server.getLocalPort();
            int clientPort = lo.client.getLocalPort();
            for (int kind : new int[] {0, 2, -1}) {
                assertIpv6Entry(getSockFD(lo.client, kind), clientPort, port, KernelView.ESTABLISHED);
                assertIpv6Entry(getSockFD(lo.accepted, kind), port, clientPort, KernelView.ESTABLISHED);
                assertIpv6Entry(getServerSockFD(lo.server, kind), port, 0, KernelView.LISTEN);
            }
        }
        try (ServerSocketChannel listener = ServerSocketChannel.open()) {
            listener.bind(new InetSocketAddress(ipv6, 0));
            int port = listener.socket().getLocalPort();
            try (SocketChannel client = SocketChannel.open(listener.getLocalAddress());
                 SocketChannel peer = listener.accept()) {
                int clientPort = client.socket().getLocalPort();
                assertIpv6Entry(getServerSockFD(listener.socket(), 1), port, 0, KernelView.LISTEN);
                assertIpv6Entry(getSockFD(client.socket(), 1), clientPort, port, KernelView.ESTABLISHED);
                assertIpv6Entry(getSockFD(peer.socket(), 1), port, clientPort, KernelView.ESTABLISHED);
            }
        }
    }

    @Test
    void congestionControlAndStatistics() throws Exception {
        try (Loopback lo = new Loopback(ipv6)) {
            int client = getSockFD(lo.client, 0);
            int listener = getServerSockFD(lo.server, 0);
            for (String name : new String[] {"reno", "cubic"}) {
                assertEquals("Done!", setSocketCongestionControl(client, name));
                assertEquals(name, CongestionControlTest.algorithm(client));
                assertEquals("Done!", setServerSocketCongestionControl(listener, name));
                assertEquals(name, CongestionControlTest.algorithm(listener));
            }
            assertEquals("Error", setSocketCongestionControl(client, "no-such-algo"));
            String line = getSocketStats(client);
            assertTrue(line.matches(LINE), line);
            String[] f = line.split(",");
            assertEquals(Integer.toString(getCongestionWindowInt(client)), f[5]);
            assertEquals(Integer.toString(getWriteQueueBytesInt(client)), f[8]);
            assertTrue(Integer.parseInt(f[5]) > 0, "window of " + line);
            assertTrue(Integer.parseInt(f[6]) > 0, "segment size of " + line);
        }
    }

    @Test
    void sendQueueFillsAndDrains() throws Exception {
        try (ServerSocketChannel listener = ServerSocketChannel.open()) {
            listener.bind(new InetSocketAddress(ipv6, 0));
            try (SocketChannel client = SocketChannel.open(listener.getLocalAddress());
                 SocketChannel peer = listener.accept()) {
                int fd = getSockFD(client.socket(), 1);
                client.configureBlocking(false);
                ByteBuffer chunk = ByteBuffer.allocate(64 * 1024);
                long written = 0;
                for (int n; (n = client.write(chunk.clear())) > 0; ) written += n;
                int queued = getWriteQueueBytesIntFromIoctl(fd);
                assertTrue(queued > 0 && queued <= written, queued + " of " + written);
                ByteBuffer sink = ByteBuffer.allocate(1 << 20);
                long read = 0;
                while (read < written) read += peer.read(sink.clear());
                long deadline = System.nanoTime() + 5_000_000_000L;
                while (getWriteQueueBytesIntFromIoctl(fd) != 0 && System.nanoTime() < deadline) {
                    Thread.sleep(10);
                }
                assertEquals(0, getWriteQueueBytesIntFromIoctl(fd));
            }
        }
    }
}
