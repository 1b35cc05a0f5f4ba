package com.quillora.braidNet.nativeTuntap;

import java.nio.ByteBuffer;

/** Test-side declaration of the appliance's TUN device class. */
public class Tuntap {
    public int fd;
    public String device;

    static {
        System.loadLibrary("tuntap");
    }

    public static native int initLib();

    public native int openTun();

    public native int openTunDevice(String name);

    public static native boolean isDataReady(int descriptor, int timeoutMillis);

    public native boolean setNonBlocking(boolean nonBlocking);

    public native void close();

    public static native int readByteBuffer(int descriptor, ByteBuffer buffer, int length);

    public static native int readByteBufferNonBlocking(int descriptor, ByteBuffer buffer,
                                                       int length);

    public static native int writeByteBuffer(int descriptor, ByteBuffer buffer, int length);
}
