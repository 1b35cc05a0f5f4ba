package com.quillora.braidNet.socketUtils;

/** Test-only declaration of the appliance's class, with the native methods of libtcptune. */
public final class NativeSocketOpts {
    static {
        System.loadLibrary("tcptune");
    }

    private NativeSocketOpts() {}

    /** kind 1 follows the socket's channel, any other kind its implementation. */
    public static native int getSockFD(Object socket, int kind);

    public static native int getServerSockFD(Object socket, int kind);

    public static native String setSocketCongestionControl(int descriptor, String algorithm);

    public static native String setServerSocketCongestionControl(int descriptor, String algorithm);

    public static native int getCongestionWindowInt(int descriptor);

    public static native int getWriteQueueBytesInt(int descriptor);

    public static native int getWriteQueueBytesIntFromIoctl(int descriptor);

    public static native String getSocketStats(int descriptor);
}
