package tcptune;

import java.io.IOException;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;

import org.junit.jupiter.api.Assumptions;

/** A connected TCP pair on loopback (127.0.0.1 unless told): listener, client and the accepted peer. */
final class Loopback implements AutoCloseable {
    final ServerSocket server;
    final Socket client;
    final Socket accepted;

    Loopback() throws IOException {
        this(InetAddress.getLoopbackAddress());
    }

    /** The pair on a given loopback address, such as ::1. */
    Loopback(InetAddress address) throws IOException {
        server = new ServerSocket(0, 4, address);
        client = new Socket(address, server.getLocalPort());
        accepted = server.accept();
    }

    /** Skips the calling test unless it runs inside the private namespace of netns.sh. */
    static void requireNamespace() {
        Assumptions.assumeTrue(System.getenv("TCPTUNE_NETNS") != null,
                "needs root: loopback socket tests run only in a private network namespace");
    }

    @Override
    public void close() throws IOException {
        accepted.close();
        client.close();
        server.close();
    }
}
