package com.quillora.braidNet.nativeTuntap.exceptions;

/** Test-side declaration of the appliance's errno-carrying exception. */
public class ErrnoException extends RuntimeException {
    private static final long serialVersionUID = 1L;
    private final int errno;

    public ErrnoException(String message, int errno) {
        super(message);
        this.errno = errno;
    }

    public int getErrno() {
        return errno;
    }
}
