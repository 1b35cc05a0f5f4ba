import com.quillora.braidNet.nativeTuntap.Tuntap;
import com.sun.jna.Native;
import java.nio.ByteBuffer;

/**
 * Packets per second through Tuntap.writeByteBuffer and empty non-blocking
 * reads per second through readByteBufferNonBlocking, and the same calls
 * through JNA, on an existing TUN device.
 * Usage: TuntapBench DEVICE COUNT; prints "jni|jna write_pps|read_pps N".
 */
public final class TuntapBench {
    /** libc through JNA's direct mapping, its fastest form. */
    static final class Jna {
        static {
            Native.register("c");
        }

        static native long write(int fd, ByteBuffer buf, long count);

        static native long read(int fd, ByteBuffer buf, long count);
    }

    interface Op {
        long run(int fd, ByteBuffer buf, int len);
    }

    /** The packet of packet.h: IPv4/UDP to 192.0.2.1 port 9, bad UDP checksum. */
    static ByteBuffer packet() {
        byte[] p = new byte[84];
        java.util.Arrays.fill(p, (byte) 0x5a);
        int[] header = {0x45, 0, 0, 84, 0, 0, 0, 0, 64, 17, 0, 0, 192, 0, 2, 2, 192, 0, 2, 1,
                        0x10, 0x00, 0, 9, 0, 64, 0xde, 0xad};
        for (int i = 0; i < header.length; i++) p[i] = (byte) header[i];
        int sum = 0;
        for (int i = 0; i < 20; i += 2) sum += ((p[i] & 0xff) << 8) | (p[i + 1] & 0xff);
        while ((sum >> 16) != 0) sum = (sum & 0xffff) + (sum >> 16);
        p[10] = (byte) (~sum >> 8);
        p[11] = (byte) ~sum;
        return ByteBuffer.allocateDirect(84).put(p).clear();
    }

    static double rate(Op op, int fd, ByteBuffer buf, int len, long count, boolean expectFail) {
        long t0 = System.nanoTime();
        for (long i = 0; i < count; i++) {
            long r = op.run(fd, buf, len);
            if ((r < 0) != expectFail) throw new IllegalStateException("result " + r);
        }
        return count * 1e9 / (System.nanoTime() - t0);
    }

    static void measure(String name, Op write, Op read, Tuntap t, long count) {
        ByteBuffer pkt = packet();
        ByteBuffer in = ByteBuffer.allocateDirect(2048);
        t.setNonBlocking(false);
        rate(write, t.fd, pkt, 84, count / 5, false); // warm-up for the JIT
        double w = rate(write, t.fd, pkt, 84, count, false);
        t.setNonBlocking(true);
        rate(read, t.fd, in, 2048, count / 5, true);
        double r = rate(read, t.fd, in, 2048, count, true);
        System.out.printf("%s write_pps %.0f%n%s read_pps %.0f%n", name, w, name, r);
    }

    public static void main(String[] args) {
        long count = Long.parseLong(args[1]);
        if (Tuntap.initLib() != 0) throw new IllegalStateException("initLib");
        Tuntap t = new Tuntap();
        t.openTunDevice(args[0]);
        measure("jni", Tuntap::writeByteBuffer, Tuntap::readByteBufferNonBlocking, t, count);
        measure("jna", Jna::write, Jna::read, t, count);
        t.close();
    }
}
