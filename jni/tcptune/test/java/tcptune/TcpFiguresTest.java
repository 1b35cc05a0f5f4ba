package tcptune;

import static com.quillora.braidNet.socketUtils.NativeSocketOpts.*;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.nio.ByteBuffer;
import java.nio.channels.DatagramChannel;
import java.nio.channels.ServerSocketChannel;
import java.nio.channels.SocketChannel;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/** Window, send queue and statistics line of real loopback sockets. */
class TcpFiguresTest {
    private static final String NUMBER = "(0|[1-9][0-9]*)";
    private static final String LINE =
            (NUMBER + ",").repeat(7) + "[a-z0-9_]+," + NUMBER;

    @BeforeEach
    void namespace() {
        Loopback.requireNamespace();
    }

    @Test
    void statisticsLineAgreesWithTheNumberMethods() throws Exception {
        try (Loopback lo = new Loopback()) {
            int fd = getSockFD(lo.client, 0);
            String line = getSocketStats(fd);
            assertTrue(line.matches(LINE), line);
            String[] f = line.split(",");
            assertEquals(Integer.toString(getCongestionWindowInt(fd)), f[5]);
            assertEquals(Integer.toString(getWriteQueueBytesInt(fd)), f[8]);
            assertTrue(Integer.parseInt(f[5]) > 0, "window of " + line);
            assertTrue(Integer.parseInt(f[6]) > 0, "segment size of " + line);
        }
    }

    @Test
    void udpDescriptorHasNoTcpFigures() throws Exception {
        try (DatagramChannel ch = DatagramChannel.open()) {
            ch.bind(new InetSocketAddress(InetAddress.getLoopbackAddress(), 0));
            int fd = KernelView.descriptorOf("udp", ch.socket().getLocalPort());
            assertEquals(-2, getCongestionWindowInt(fd));
            assertEquals(-2, getWriteQueueBytesInt(fd));
            assertEquals("Error", getSocketStats(fd));
        }
    }

    @Test
    void listeningDescriptorHasWindowButNoSendQueue() throws Exception {
        try (Loopback lo = new Loopback()) {
            int fd = getSockFD(lo.server, 0);
            assertEquals(-2, getWriteQueueBytesIntFromIoctl(fd));
            assertTrue(getCongestionWindowInt(fd) >= 0);
            assertTrue(getSocketStats(fd).matches(LINE));
        }
    }

    /** The send queue counts unsent and unacknowledged bytes: it fills while the peer
     *  doesn't read, and drains once it does. */
    @Test
    void sendQueueFollowsThePeer() throws Exception {
        try (ServerSocketChannel listener = ServerSocketChannel.open()) {
            listener.bind(new InetSocketAddress(InetAddress.getLoopbackAddress(), 0));
            try (SocketChannel client = SocketChannel.open(listener.getLocalAddress());
                 SocketChannel peer = listener.accept()) {
                int fd = getSockFD(client.socket(), 1);
                assertEquals(0, getWriteQueueBytesIntFromIoctl(fd));
                assertEquals(0, getWriteQueueBytesIntFromIoctl(getSockFD(peer.socket(), 1)));

                client.configureBlocking(false);
                ByteBuffer chunk = ByteBuffer.allocate(64 * 1024);
                long written = 0;
                for (int n; (n = client.write(chunk.clear())) > 0; ) written += n;
                int queued = getWriteQueueBytesIntFromIoctl(fd);
                assertTrue(queued > 0 && queued <= written, queued + " of " + written);

                ByteBuffer sink = ByteBuffer.allocate(1 << 20);
                long read = 0;
                while (read < written) read += peer.read(sink.clear());
                // the last acknowledgement may still be on its way
                long deadline = System.nanoTime() + 5_000_000_000L;
                while (getWriteQueueBytesIntFromIoctl(fd) != 0 && System.nanoTime() < deadline) {
                    Thread.sleep(10);
                }
                assertEquals(0, getWriteQueueBytesIntFromIoctl(fd));
            }
        }
    }
}
