package tcptune;

import static com.quillora.braidNet.socketUtils.NativeSocketOpts.*;

import java.io.FileDescriptor;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.Socket;
import java.nio.channels.DatagramChannel;
import java.nio.channels.SocketChannel;

/**
 * Child-JVM side of StandardErrorTest: runs one failing call and prints its result as a
 * "result: " line on standard output, leaving standard error to the library.
 */
public final class FailureScenarios {
    private FailureScenarios() {}

    public static void main(String[] args) throws Exception {
        switch (args[0]) {
            case "nullImpl" -> print(getSockFD(TestSockets.withImpl(null), 2));
            case "nullSocket" -> print(getServerSockFD(null, 1));
            case "noClientChannel" -> walkThrowing(new Socket(), 1, false);
            case "noServerChannel" -> walkThrowing(new Socket(), 1, true);
            case "nullFdObject" -> print(getSockFD(TestSockets.withFd(null), 0));
            case "fdMinusOne" -> print(getSockFD(TestSockets.withFd(new FileDescriptor()), 0));
            case "unknownAlgorithm" -> select("no-such-algo", false);
            case "unknownAlgorithmServer" -> select("no-such-algo", true);
            case "longestName" -> select("n".repeat(31), true);
            case "nameTooLong" -> select("n".repeat(32), true);
            case "wideNameTooLong" -> select("\u20ac".repeat(11), false);
            case "nullName" -> select(null, true);
            case "udpStats" -> udp();
            case "badDescriptor" -> {
                print(getCongestionWindowInt(-1));
                print(getWriteQueueBytesInt(-1));
                print(getWriteQueueBytesIntFromIoctl(-1));
            }
            default -> throw new IllegalArgumentException(args[0]);
        }
    }

    private static void print(Object result) {
        System.out.println("result: " + result);
    }

    private static void walkThrowing(Object socket, int kind, boolean server) {
        try {
            print(server ? getServerSockFD(socket, kind) : getSockFD(socket, kind));
        } catch (NoSuchFieldError e) {
            print("NoSuchFieldError");
        }
    }

    private static void select(String name, boolean server) throws Exception {
        try (SocketChannel ch = SocketChannel.open()) {
            int fd = getSockFD(ch.socket(), 1);
            print(server ? setServerSocketCongestionControl(fd, name)
                         : setSocketCongestionControl(fd, name));
        }
    }

    private static void udp() throws Exception {
        try (DatagramChannel ch = DatagramChannel.open()) {
            ch.bind(new InetSocketAddress(InetAddress.getLoopbackAddress(), 0));
            int fd = KernelView.descriptorOf("udp", ch.socket().getLocalPort());
            print(getSocketStats(fd));
            print(getCongestionWindowInt(fd));
        }
    }
}
