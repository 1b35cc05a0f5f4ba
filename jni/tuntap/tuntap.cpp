#include "tuntap.h"

#include <fcntl.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>

jclass tuntap_class = nullptr;
jfieldID tuntap_fdID = nullptr;
jfieldID tuntap_deviceID = nullptr;

namespace {

constexpr char kTuntapClass[] = "com/quillora/braidNet/nativeTuntap/Tuntap";
constexpr char kErrnoExceptionClass[] =
    "com/quillora/braidNet/nativeTuntap/exceptions/ErrnoException";
constexpr char kTunNode[] = "/dev/net/tun";
constexpr short kTunFlags = IFF_TUN | IFF_NO_PI;

// g++ defines _GNU_SOURCE, so strerror_r is the GNU one, which returns its
// text and may leave buf untouched; the XSI one fills buf. Serve both.
[[maybe_unused]] const char* errorText(const char* text, const char*, int) {
  return text;
}

[[maybe_unused]] const char* errorText(int rc, char* buf, int error) {
  if (rc != 0) snprintf(buf, 64, "Unknown error %d", error);
  return buf;
}

// Exception classes, looked up once when the library loads (through the
// loader of the class that loaded it) and kept as global references, so a
// throw needs no class lookup. Null when a class couldn't be found then: the
// throw looks it up itself.
jclass errnoExceptionClass = nullptr;
jmethodID errnoExceptionInit = nullptr;
jclass nullPointerExceptionClass = nullptr;

jclass globalClass(JNIEnv* env, const char* name) {
  jclass local = env->FindClass(name);
  if (local == nullptr) {
    env->ExceptionClear();
    return nullptr;
  }
  auto global = static_cast<jclass>(env->NewGlobalRef(local));
  env->DeleteLocalRef(local);
  return global;
}

void cacheExceptionClasses(JNIEnv* env) {
  nullPointerExceptionClass = globalClass(env, "java/lang/NullPointerException");
  errnoExceptionClass = globalClass(env, kErrnoExceptionClass);
  if (errnoExceptionClass == nullptr) return;
  errnoExceptionInit = env->GetMethodID(errnoExceptionClass, "<init>", "(Ljava/lang/String;I)V");
  if (errnoExceptionInit == nullptr) env->ExceptionClear();
}

// Field IDs may be stored by a lazy lookup on one thread while another reads
// them; both store the same values, so relaxed atomics suffice.
template <typename T>
T loadId(T* var) {
  return __atomic_load_n(var, __ATOMIC_RELAXED);
}
template <typename T>
void storeId(T* var, T v) {
  __atomic_store_n(var, v, __ATOMIC_RELAXED);
}

// initLib's lookups: 0, -2 (class) or -3 (field), the lookup's error pending.
// The fields are looked up through this thread's own class reference: the one
// in tuntap_class may by then be another thread's local reference.
int lookupIds(JNIEnv* env) {
  jclass cls = env->FindClass(kTuntapClass);
  storeId(&tuntap_class, cls);
  if (env->ExceptionCheck()) return -2;
  storeId(&tuntap_fdID, env->GetFieldID(cls, "fd", "I"));
  if (env->ExceptionCheck()) return -3;
  storeId(&tuntap_deviceID, env->GetFieldID(cls, "device", "Ljava/lang/String;"));
  if (env->ExceptionCheck()) return -3;
  return 0;
}

// The object-bound methods run the lookups themselves when initLib hasn't.
bool fieldsReady(JNIEnv* env) {
  if (loadId(&tuntap_fdID) != nullptr && loadId(&tuntap_deviceID) != nullptr) return true;
  return lookupIds(env) == 0;
}

// Length of the longest prefix of name, at most max bytes, that ends on a
// character boundary, so the name the kernel hands back is valid UTF-8.
size_t namePrefix(const char* name, size_t max) {
  size_t len = strnlen(name, max + 1);
  if (len <= max) return len;
  len = max;
  while (len > 0 && (static_cast<unsigned char>(name[len]) & 0xC0) == 0x80) --len;
  return len;
}

// Copies the name into the request; false with an exception pending.
bool copyName(JNIEnv* env, jstring name, struct ifreq* ifr) {
  if (name == nullptr) {
    jclass npe = nullPointerExceptionClass ? nullPointerExceptionClass
                                           : env->FindClass("java/lang/NullPointerException");
    if (npe != nullptr) env->ThrowNew(npe, "name");
    return false;
  }
  const char* utf = env->GetStringUTFChars(name, nullptr);
  if (utf == nullptr) return false;
  memcpy(ifr->ifr_name, utf, namePrefix(utf, IFNAMSIZ - 1));
  env->ReleaseStringUTFChars(name, utf);
  return true;
}

// Opens the TUN node. 0 marks a closed object, so a descriptor 0 (stdin was
// closed) is moved up before the object can own it.
int openTunNode() {
  int fd = open(kTunNode, O_RDWR);
  if (fd != 0) return fd;
  int moved = fcntl(fd, F_DUPFD, 1);
  int err = errno;
  close(fd);
  errno = err;
  return moved;
}

// Reports a failed call as the library does: perror, then ErrnoException.
int reportFailure(JNIEnv* env, const char* what, int err) {
  errno = err;
  if (what != nullptr) perror(what);
  throwErrnoExceptionError(env, err);
  return err;
}

// Body of openTun (name null) and openTunDevice.
jint openDevice(JNIEnv* env, jobject obj, jstring name, bool named) {
  if (!fieldsReady(env)) return -1;
  struct ifreq ifr;
  memset(&ifr, 0, sizeof ifr);
  if (named && !copyName(env, name, &ifr)) return -1;
  int fd = openTunNode();
  if (fd < 0) return reportFailure(env, "open: ", errno);
  ifr.ifr_flags = kTunFlags;
  if (ioctl(fd, TUNSETIFF, &ifr) < 0) {
    int err = errno;
    close(fd);
    return reportFailure(env, "TUNSETIFF: ", err);
  }
  setFdDev(env, obj, fd, &ifr);
  return env->ExceptionCheck() ? -1 : 0;
}

// The buffer's memory if [0, length) lies inside it; else nullptr after
// throwing ErrnoException (EFAULT: no direct memory, EINVAL: bad length).
void* packetMemory(JNIEnv* env, jobject buffer, jint length, int* err) {
  void* mem = buffer == nullptr ? nullptr : env->GetDirectBufferAddress(buffer);
  *err = mem == nullptr ? EFAULT : 0;
  if (mem != nullptr && (length < 0 || length > env->GetDirectBufferCapacity(buffer)))
    *err = EINVAL;
  if (*err == 0) return mem;
  throwErrnoExceptionError(env, *err);
  return nullptr;
}

// One read into the buffer; EAGAIN gives -EAGAIN silently when nonBlocking.
jint readPacket(JNIEnv* env, jint fd, jobject buffer, jint length, bool nonBlocking) {
  int err = 0;
  void* mem = packetMemory(env, buffer, length, &err);
  if (mem == nullptr) return err;
  ssize_t n = read(fd, mem, static_cast<size_t>(length));
  if (n >= 0) return static_cast<jint>(n);
  err = errno;
  if (!nonBlocking) return reportFailure(env, nullptr, err);
  if (err == EAGAIN) return -EAGAIN;
  return reportFailure(env, "read: ", err);
}

}  // namespace

extern "C" {

JNIEXPORT void setFdDev(JNIEnv* env, jobject obj, int fd, struct ifreq* ifr) {
  if (!fieldsReady(env)) return;
  env->SetIntField(obj, loadId(&tuntap_fdID), fd);
  jstring device = env->NewStringUTF(ifr->ifr_name);
  if (device == nullptr) return;  // out of memory, pending
  env->SetObjectField(obj, loadId(&tuntap_deviceID), device);
  env->DeleteLocalRef(device);
}

JNIEXPORT int getFd(JNIEnv* env, jobject obj) {
  if (!fieldsReady(env)) return -1;
  return env->GetIntField(obj, loadId(&tuntap_fdID));
}

JNIEXPORT int throwErrnoExceptionError(JNIEnv* env, int error) {
  if (env->ExceptionCheck()) return -1;
  bool cached = errnoExceptionClass != nullptr && errnoExceptionInit != nullptr;
  jclass cls = cached ? errnoExceptionClass : env->FindClass(kErrnoExceptionClass);
  if (cls == nullptr) return -1;
  jmethodID ctor =
      cached ? errnoExceptionInit : env->GetMethodID(cls, "<init>", "(Ljava/lang/String;I)V");
  if (ctor == nullptr) return -1;
  // Turned into a Java string at once, before anything can reuse the buffer.
  char buf[256];
  jstring msg = env->NewStringUTF(errorText(strerror_r(error, buf, sizeof buf), buf, error));
  if (msg == nullptr) return -1;
  jobject exc = env->NewObject(cls, ctor, msg, static_cast<jint>(error));
  if (env->ExceptionCheck() || exc == nullptr) return -1;
  int rc = env->Throw(static_cast<jthrowable>(exc)) == 0 ? 0 : -1;
  env->DeleteLocalRef(exc);
  env->DeleteLocalRef(msg);
  if (!cached) env->DeleteLocalRef(cls);
  return rc;
}

JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void*) {
  JNIEnv* env = nullptr;
  if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6) != JNI_OK) return JNI_ERR;
  cacheExceptionClasses(env);
  return JNI_VERSION_1_6;
}

JNIEXPORT void JNICALL JNI_OnUnload(JavaVM* vm, void*) {
  JNIEnv* env = nullptr;
  if (vm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6) != JNI_OK) return;
  for (jclass* cls : {&errnoExceptionClass, &nullPointerExceptionClass}) {
    if (*cls != nullptr) env->DeleteGlobalRef(*cls);
    *cls = nullptr;
  }
  errnoExceptionInit = nullptr;
}

JNIEXPORT jint JNICALL Java_com_quillora_braidNet_nativeTuntap_Tuntap_initLib(JNIEnv* env,
                                                                              jobject) {
  return lookupIds(env);
}

JNIEXPORT jint JNICALL Java_com_quillora_braidNet_nativeTuntap_Tuntap_openTun(JNIEnv* env,
                                                                              jobject obj) {
  return openDevice(env, obj, nullptr, false);
}

JNIEXPORT jint JNICALL Java_com_quillora_braidNet_nativeTuntap_Tuntap_openTunDevice(JNIEnv* env,
                                                                                    jobject obj,
                                                                                    jstring name) {
  return openDevice(env, obj, name, true);
}

// poll, not select: a JVM easily holds descriptors past select's 1024 bits.
// A negative descriptor or time-out is a failed wait, which reads as ready.
JNIEXPORT jboolean JNICALL Java_com_quillora_braidNet_nativeTuntap_Tuntap_isDataReady(
    JNIEnv*, jobject, jint descriptor, jint timeoutMillis) {
  if (descriptor < 0 || timeoutMillis < 0) return JNI_TRUE;
  struct pollfd p = {descriptor, POLLIN, 0};
  return poll(&p, 1, timeoutMillis) == 0 ? JNI_FALSE : JNI_TRUE;
}

JNIEXPORT jboolean JNICALL Java_com_quillora_braidNet_nativeTuntap_Tuntap_setNonBlocking(
    JNIEnv* env, jobject obj, jboolean nonBlocking) {
  int fd = getFd(env, obj);
  if (fd <= 0) return JNI_FALSE;  // closed, never opened, or lookup failed
  int flags = fcntl(fd, F_GETFL);
  if (flags == -1) return JNI_FALSE;
  flags = nonBlocking ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
  return fcntl(fd, F_SETFL, flags) == -1 ? JNI_FALSE : JNI_TRUE;
}

JNIEXPORT void JNICALL Java_com_quillora_braidNet_nativeTuntap_Tuntap_close(JNIEnv* env,
                                                                            jobject obj) {
  int fd = getFd(env, obj);
  if (fd <= 0) return;  // 0 marks a closed object: that descriptor isn't ours
  close(fd);
  env->SetIntField(obj, loadId(&tuntap_fdID), 0);
}

JNIEXPORT jint JNICALL Java_com_quillora_braidNet_nativeTuntap_Tuntap_readByteBuffer(
    JNIEnv* env, jobject, jint descriptor, jobject buffer, jint length) {
  return readPacket(env, descriptor, buffer, length, false);
}

JNIEXPORT jint JNICALL Java_com_quillora_braidNet_nativeTuntap_Tuntap_readByteBufferNonBlocking(
    JNIEnv* env, jobject, jint descriptor, jobject buffer, jint length) {
  return readPacket(env, descriptor, buffer, length, true);
}

// A short count sets no errno: the exception then carries the errno that
// was current, as callers have always seen.
JNIEXPORT jint JNICALL Java_com_quillora_braidNet_nativeTuntap_Tuntap_writeByteBuffer(
    JNIEnv* env, jobject, jint descriptor, jobject buffer, jint length) {
  int err = 0;
  void* mem = packetMemory(env, buffer, length, &err);
  if (mem == nullptr) return -1;
  jint n = static_cast<jint>(write(descriptor, mem, static_cast<size_t>(length)));
  if (n != length) throwErrnoExceptionError(env, errno);
  return n;
}

}  // extern "C"
