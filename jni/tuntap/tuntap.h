// Native half of the Java class com.quillora.braidNet.nativeTuntap.Tuntap:
// TUN device open, packet reads and writes on direct buffers, readiness
// wait, blocking mode and close. The JNI entry points are bound by name and
// need no declaration; these are the library's other exported symbols.
#ifndef TUNTAP_TUNTAP_H
#define TUNTAP_TUNTAP_H

#include <jni.h>
#include <net/if.h>

extern "C" {

// Class reference that initLib's lookup returned (a local reference).
JNIEXPORT extern jclass tuntap_class;
// Field ID of Tuntap.fd (int).
JNIEXPORT extern jfieldID tuntap_fdID;
// Field ID of Tuntap.device (String).
JNIEXPORT extern jfieldID tuntap_deviceID;

// Stores fd and the interface name the kernel wrote into ifr in the object.
JNIEXPORT void setFdDev(JNIEnv* env, jobject obj, int fd, struct ifreq* ifr);
// Returns the object's fd field, or -1 with an exception pending.
JNIEXPORT int getFd(JNIEnv* env, jobject obj);
// Throws ErrnoException(strerror(error), error); 0 when thrown, else -1.
JNIEXPORT int throwErrnoExceptionError(JNIEnv* env, int error);

}  // extern "C"

#endif  // TUNTAP_TUNTAP_H
