package com.quillora.braidNet.nativeTuntap;

/** The few C library calls the tests need to set up and inspect descriptors. */
final class Libc {
    private Libc() {}

    static {
        System.load(System.getProperty("tuntap.test.libc"));
    }

    static final int F_DUPFD = 0;
    static final int F_GETFL = 3;
    static final int F_SETFL = 4;
    static final int O_WRONLY = 01;
    static final int O_TRUNC = 01000;
    static final int O_APPEND = 02000;
    static final int O_NONBLOCK = 04000;

    static native int getuid();

    static native int pipe(int[] fds);

    static native int open(String path, int flags, int mode);

    static native int close(int fd);

    static native int dup(int fd);

    static native int dup2(int fd, int to);

    static native int fcntl(int fd, int cmd, int arg);

    static native int read(int fd, byte[] buf, int count);

    static native int write(int fd, byte[] buf, int count);
}
