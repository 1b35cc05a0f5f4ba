package tcptune;

import static com.quillora.braidNet.socketUtils.NativeSocketOpts.*;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.FileDescriptor;
import java.io.IOException;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.nio.ByteBuffer;
import java.nio.channels.ServerSocketChannel;
import java.nio.channels.SocketChannel;
import java.util.ArrayList;
import java.util.List;
import java.util.Queue;
import java.util.SortedMap;
import java.util.concurrent.ConcurrentLinkedQueue;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicInteger;
import jnitest.Descriptors;

import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/**
 * Every TCP method on many loopback sockets at once, from several threads, while data
 * flows on some of them: each call must give the same descriptor and sane figures as
 * it does alone, and every descriptor must be closed again at the end.
 */
class StressTest {
    private static final int PAIRS = 24;
    private static final int THREADS = 6;
    private static final int ROUNDS = 15;
    private static final long DEADLINE_NANOS = 8_000_000_000L;
    private static final String NUMBER = "(0|[1-9][0-9]*)";
    private static final String LINE = (NUMBER + ",").repeat(7) + "(reno|cubic)," + NUMBER;

    /** One socket object as the walk sees it, and the descriptor a lone call found. */
    record Target(Object socket, int kind, boolean listener, int fd) {
        static int lookUp(Object socket, int kind, boolean listener) {
            return listener ? getServerSockFD(socket, kind) : getSockFD(socket, kind);
        }

        int lookUp() {
            return lookUp(socket, kind, listener);
        }

        String select(String algorithm) {
            return listener ? setServerSocketCongestionControl(fd, algorithm)
                            : setSocketCongestionControl(fd, algorithm);
        }
    }

    private final List<AutoCloseable> open = new ArrayList<>();
    private final List<Target> targets = new ArrayList<>();
    private final List<SocketChannel[]> channelPairs = new ArrayList<>();
    private final Queue<Throwable> failures = new ConcurrentLinkedQueue<>();

    @BeforeEach
    void namespace() {
        Loopback.requireNamespace();
    }

    private <T extends AutoCloseable> T kept(T resource) {
        open.add(resource);
        return resource;
    }

    private void add(Object socket, int kind, boolean listener) {
        int fd = Target.lookUp(socket, kind, listener);
        assertTrue(fd > 2, "descriptor " + fd);
        targets.add(new Target(socket, kind, listener, fd));
    }

    /** Half the pairs as plain sockets (implementation walk), half as channels. */
    private void openSockets() throws IOException {
        InetAddress lo = InetAddress.getLoopbackAddress();
        ServerSocket server = kept(new ServerSocket(0, PAIRS, lo));
        ServerSocketChannel serverChannel = kept(ServerSocketChannel.open());
        serverChannel.bind(new InetSocketAddress(lo, 0), PAIRS);
        add(server, 0, true);
        add(serverChannel.socket(), 1, true);
        for (int i = 0; i < PAIRS / 2; i++) {
            Socket client = kept(new Socket(lo, server.getLocalPort()));
            Socket accepted = kept(server.accept());
            add(client, i % 3 == 0 ? 2 : 0, false);
            add(accepted, 0, false);
            SocketChannel c = kept(SocketChannel.open(serverChannel.getLocalAddress()));
            SocketChannel a = kept(serverChannel.accept());
            add(c.socket(), 1, false);
            add(a.socket(), 1, false);
            channelPairs.add(new SocketChannel[] {c, a});
        }
    }

    private void closeAll() throws Exception {
        for (int i = open.size() - 1; i >= 0; i--) open.get(i).close();
    }

    /** One round over every target, in an order that differs between threads. */
    private void round(int thread, int round) {
        String algorithm = (thread + round) % 2 == 0 ? "reno" : "cubic";
        for (int i = 0; i < targets.size(); i++) {
            Target t = targets.get((i * 7 + thread * 5 + round) % targets.size());
            assertEquals(t.fd(), t.lookUp(), "descriptor of " + t);
            assertEquals("Done!", t.select(algorithm));
            String line = getSocketStats(t.fd());
            assertTrue(line.matches(LINE), line);
            assertTrue(getCongestionWindowInt(t.fd()) >= 0);
            assertTrue(getWriteQueueBytesInt(t.fd()) >= 0);
            if (!t.listener()) assertTrue(getWriteQueueBytesIntFromIoctl(t.fd()) >= 0);
        }
        // the failure paths too, which leave errors pending or print
        assertEquals(-1, getSockFD(TestSockets.withFd(new FileDescriptor()), 0));
        if (round == 0) assertThrows(NoSuchFieldError.class, () -> getSockFD(new Object(), 0));
    }

    /** Keeps the channel pairs' send queues moving until told to stop. */
    private void pump(AtomicBoolean stop, long deadline) throws IOException {
        ByteBuffer chunk = ByteBuffer.allocate(16 * 1024);
        ByteBuffer sink = ByteBuffer.allocate(16 * 1024);
        while (!stop.get() && System.nanoTime() < deadline) {
            for (SocketChannel[] pair : channelPairs) {
                int sent = pair[0].write(chunk.clear());
                for (int got = 0; got < sent; ) {
                    int n = pair[1].read(sink.clear());
                    if (n < 0) throw new AssertionError("peer closed");
                    got += n;
                }
            }
        }
    }

    /** The runtime keeps a few descriptors of its own from its first sockets on. */
    private static void warmUp() throws IOException {
        new Loopback().close();
        try (ServerSocketChannel listener = ServerSocketChannel.open()) {
            listener.bind(new InetSocketAddress(InetAddress.getLoopbackAddress(), 0));
            try (SocketChannel c = SocketChannel.open(listener.getLocalAddress());
                 SocketChannel a = listener.accept()) {
                c.write(ByteBuffer.allocate(1));
                a.read(ByteBuffer.allocate(1));
            }
        }
    }

    private Thread worker(String name, CountDownLatch gate, Body body) {
        Thread t = new Thread(() -> {
            try {
                gate.await();
                body.run();
            } catch (Throwable e) {
                failures.add(e);
            }
        }, name);
        t.start();
        return t;
    }

    interface Body {
        void run() throws Exception;
    }

    @Test
    void tcpMethodsOnManySocketsFromManyThreads() throws Exception {
        warmUp();
        SortedMap<Integer, String> before = Descriptors.open();
        long deadline = System.nanoTime() + DEADLINE_NANOS;
        AtomicBoolean stop = new AtomicBoolean();
        AtomicInteger rounds = new AtomicInteger();
        CountDownLatch gate = new CountDownLatch(1);
        List<Thread> threads = new ArrayList<>();
        try {
            openSockets();
            for (int i = 0; i < THREADS; i++) {
                int thread = i;
                threads.add(worker("caller" + i, gate, () -> {
                    for (int r = 0; r < ROUNDS && System.nanoTime() < deadline; r++) {
                        round(thread, r);
                        rounds.incrementAndGet();
                    }
                }));
            }
            Thread pump = worker("pump", gate, () -> pump(stop, deadline));
            gate.countDown();
            for (Thread t : threads) t.join(DEADLINE_NANOS / 1_000_000 + 2000);
            stop.set(true);
            pump.join(2000);
            threads.add(pump);
        } finally {
            stop.set(true);
            closeAll();
        }
        for (Thread t : threads) assertFalse(t.isAlive(), t.getName() + " still running");
        assertNoFailures();
        assertEquals(THREADS * ROUNDS, rounds.get(), "rounds done before the deadline");
        Descriptors.assertBackTo(before);
    }

    private void assertNoFailures() {
        if (failures.isEmpty()) return;
        AssertionError e = new AssertionError(failures.size() + " thread(s) failed");
        failures.forEach(e::addSuppressed);
        throw e;
    }
}
