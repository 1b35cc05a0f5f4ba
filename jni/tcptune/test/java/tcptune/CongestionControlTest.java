package tcptune;

import static com.quillora.braidNet.socketUtils.NativeSocketOpts.*;
import static org.junit.jupiter.api.Assertions.assertEquals;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/** Selecting algorithms on real sockets and reading them back from the statistics line. */
class CongestionControlTest {
    @BeforeEach
    void namespace() {
        Loopback.requireNamespace();
    }

    static String algorithm(int fd) {
        return getSocketStats(fd).split(",", -1)[7];
    }

    @Test
    void selectedAlgorithmShowsInStatistics() throws Exception {
        try (Loopback lo = new Loopback()) {
            int client = getSockFD(lo.client, 0);
            int listener = getServerSockFD(lo.server, 0);
            for (String name : new String[] {"reno", "cubic", "reno"}) {
                assertEquals("Done!", setSocketCongestionControl(client, name));
                assertEquals(name, algorithm(client));
                assertEquals("Done!", setServerSocketCongestionControl(listener, name));
                assertEquals(name, algorithm(listener));
            }
        }
    }

    @Test
    void refusedNamesLeaveTheAlgorithmAlone() throws Exception {
        try (Loopback lo = new Loopback()) {
            int fd = getSockFD(lo.accepted, 0);
            assertEquals("Done!", setSocketCongestionControl(fd, "reno"));
            String[] refused = {"no-such-algo", "", "n".repeat(31), "cubic\0",
                "cubic" + " ".repeat(40), null};
            for (String name : refused) {
                assertEquals("Error", setSocketCongestionControl(fd, name), "name " + name);
                assertEquals("Error", setServerSocketCongestionControl(fd, name), "name " + name);
                assertEquals("reno", algorithm(fd));
            }
        }
    }

    @Test
    void udpDescriptorIsRefused() throws Exception {
        try (var ch = java.nio.channels.DatagramChannel.open()) {
            ch.bind(new java.net.InetSocketAddress(java.net.InetAddress.getLoopbackAddress(), 0));
            int fd = KernelView.descriptorOf("udp", ch.socket().getLocalPort());
            assertEquals("Error", setSocketCongestionControl(fd, "reno"));
        }
    }
}
