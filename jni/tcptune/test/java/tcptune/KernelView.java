package tcptune;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;

/** What the kernel says about this process's sockets, from /proc. */
final class KernelView {
    static final int ESTABLISHED = 0x01;
    static final int LISTEN = 0x0A;

    /** One socket's row of /proc/net/{tcp,udp}[6]; the addresses as the kernel prints them. */
    record Entry(int localPort, int remotePort, int state, long inode, String localAddress,
            String remoteAddress) {}

    /** ::1 as /proc/net/tcp6 prints it (four 32-bit words in host order, here little-endian). */
    static final String IPV6_LOOPBACK = "00000000000000000000000001000000";

    private KernelView() {}

    /** The inode of the socket behind descriptor fd, or -1 when it isn't a socket. */
    static long socketInode(int fd) throws IOException {
        String target = Files.readSymbolicLink(Path.of("/proc/self/fd/" + fd)).toString();
        if (!target.startsWith("socket:[")) return -1;
        return Long.parseLong(target.substring(8, target.length() - 1));
    }

    /** The TCP entry of the socket behind descriptor fd; fails the test when there is none. */
    static Entry tcpEntry(int fd) throws IOException {
        long inode = socketInode(fd);
        for (Entry e : entries("tcp")) {
            if (e.inode() == inode) return e;
        }
        throw new AssertionError("descriptor " + fd + " is no TCP socket of this namespace");
    }

    /** The descriptor of this process that holds the socket of protocol proto bound to port. */
    static int descriptorOf(String proto, int port) throws IOException {
        long inode = -1;
        for (Entry e : entries(proto)) {
            if (e.localPort() == port) inode = e.inode();
        }
        try (var fds = Files.list(Path.of("/proc/self/fd"))) {
            for (Path p : (Iterable<Path>) fds::iterator) {
                int fd = Integer.parseInt(p.getFileName().toString());
                try {
                    if (socketInode(fd) == inode) return fd;
                } catch (IOException gone) {
                    // the listing's own descriptor is closed by now
                }
            }
        }
        throw new AssertionError("no descriptor holds the " + proto + " socket on port " + port);
    }

    private static List<Entry> entries(String proto) throws IOException {
        var rows = new java.util.ArrayList<Entry>();
        for (String table : List.of(proto, proto + "6")) {
            List<String> lines = Files.readAllLines(Path.of("/proc/net/" + table));
            for (String line : lines.subList(1, lines.size())) {
                String[] f = line.trim().split("\\s+");
                rows.add(new Entry(port(f[1]), port(f[2]), Integer.parseInt(f[3], 16),
                        Long.parseLong(f[9]), address(f[1]), address(f[2])));
            }
        }
        return rows;
    }

    private static String address(String address) {
        return address.substring(0, address.indexOf(':'));
    }

    private static int port(String address) {
        return Integer.parseInt(address.substring(address.indexOf(':') + 1), 16);
    }
}
