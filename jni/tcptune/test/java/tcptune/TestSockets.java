package tcptune;

import java.io.FileDescriptor;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.Socket;
import java.net.SocketAddress;
import java.net.SocketException;
import java.net.SocketImpl;

/** Hand-made socket objects whose fields the descriptor walk reads. */
final class TestSockets {
    private TestSockets() {}

    /** A Socket whose impl field holds the given implementation (null allowed). */
    static Socket withImpl(SocketImpl impl) {
        try {
            return new Socket(impl) {};
        } catch (SocketException e) {
            throw new AssertionError(e);
        }
    }

    /** A Socket whose implementation holds the given FileDescriptor object. */
    static Socket withFd(FileDescriptor fd) {
        return withImpl(new FixedImpl(fd));
    }

    /** An implementation that only carries a FileDescriptor object. */
    static class FixedImpl extends SocketImpl {
        FixedImpl(FileDescriptor descriptor) {
            fd = descriptor;
        }

        @Override protected void create(boolean stream) {}
        @Override protected void connect(String host, int port) {}
        @Override protected void connect(InetAddress address, int port) {}
        @Override protected void connect(SocketAddress address, int timeout) {}
        @Override protected void bind(InetAddress host, int port) {}
        @Override protected void listen(int backlog) {}
        @Override protected void accept(SocketImpl s) {}
        @Override protected InputStream getInputStream() { return InputStream.nullInputStream(); }
        @Override protected OutputStream getOutputStream() { return OutputStream.nullOutputStream(); }
        @Override protected int available() { return 0; }
        @Override protected void close() {}
        @Override protected void sendUrgentData(int data) {}
        @Override public void setOption(int optID, Object value) {}
        @Override public Object getOption(int optID) { return null; }
    }

    /** An implementation that forwards to another, as the runtime's client sockets do. */
    static final class ForwardingImpl extends FixedImpl {
        @SuppressWarnings("unused") // read by the native walk
        private final SocketImpl delegate;

        ForwardingImpl(FileDescriptor own, SocketImpl delegate) {
            super(own);
            this.delegate = delegate;
        }
    }
}
