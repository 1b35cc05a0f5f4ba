import static com.quillora.braidNet.socketUtils.NativeSocketOpts.*;

import java.io.IOException;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.util.Arrays;
import java.util.function.IntUnaryOperator;

/**
 * Calls per second of getCongestionWindowInt and getSocketStats against the same
 * getsockopt calls from a C loop (tcptune_cloop), measured in alternating rounds
 * of the same run; prints each median and their ratio.
 * Usage: java -Djava.library.path=DIR TcpTuneBench CLOOP [ROUNDS] [SECONDS]
 */
public final class TcpTuneBench {
    private static volatile int sink;

    public static void main(String[] args) throws Exception {
        String cloop = args[0];
        int rounds = args.length > 1 ? Integer.parseInt(args[1]) : 5;
        String seconds = args.length > 2 ? args[2] : "0.3";
        InetAddress lo = InetAddress.getLoopbackAddress();
        try (ServerSocket server = new ServerSocket(0, 1, lo);
             Socket client = new Socket(lo, server.getLocalPort());
             Socket peer = server.accept()) {
            int fd = getSockFD(client, 0);
            if (!peer.isConnected() || getCongestionWindowInt(fd) <= 0) {
                throw new IllegalStateException("no loopback connection");
            }
            double secs = Double.parseDouble(seconds);
            report("getCongestionWindowInt", 0.8, rounds,
                    () -> javaRate(secs, f -> getCongestionWindowInt(f), fd),
                    () -> cRate(cloop, "cwnd", seconds));
            report("getSocketStats", 0.6, rounds,
                    () -> javaRate(secs, f -> getSocketStats(f).length(), fd),
                    () -> cRate(cloop, "stats", seconds));
        }
    }

    interface Rate {
        double measure() throws Exception;
    }

    private static void report(String name, double target, int rounds, Rate java, Rate c)
            throws Exception {
        java.measure(); // warm-up: compile the loop before it counts
        double[] j = new double[rounds];
        double[] n = new double[rounds];
        for (int r = 0; r < rounds; r++) {
            n[r] = c.measure();
            j[r] = java.measure();
        }
        double jm = median(j), cm = median(n), ratio = jm / cm;
        System.out.printf("%-24s java %10.0f/s  C loop %10.0f/s  ratio %.2f (target %.1f) %s%n",
                name, jm, cm, ratio, target, ratio >= target ? "ok" : "BELOW TARGET");
    }

    private static double javaRate(double secs, IntUnaryOperator call, int fd) {
        long calls = 0;
        int acc = 0;
        long start = System.nanoTime(), now = start, end = start + (long) (secs * 1e9);
        while (now < end) {
            for (int i = 0; i < 1024; i++) acc += call.applyAsInt(fd);
            calls += 1024;
            now = System.nanoTime();
        }
        sink = acc;
        return calls / ((now - start) / 1e9);
    }

    private static double cRate(String cloop, String mode, String seconds) throws IOException {
        Process p = new ProcessBuilder(cloop, mode, seconds)
                .redirectError(ProcessBuilder.Redirect.INHERIT).start();
        String out = new String(p.getInputStream().readAllBytes()).trim();
        try {
            if (p.waitFor() != 0) throw new IOException(cloop + " failed");
        } catch (InterruptedException e) {
            throw new IOException(e);
        }
        return Double.parseDouble(out.split(" ")[0]);
    }

    private static double median(double[] v) {
        double[] s = v.clone();
        Arrays.sort(s);
        return s[s.length / 2];
    }
}
