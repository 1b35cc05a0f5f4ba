// Test-only native half of the tests' Libc class: the few C library calls
// they need to set up and inspect descriptors. Not part of the library.
#include <fcntl.h>
#include <jni.h>
#include <unistd.h>

#define LIBC_METHOD(ret, name) \
  extern "C" JNIEXPORT ret JNICALL Java_com_quillora_braidNet_nativeTuntap_Libc_##name

LIBC_METHOD(jint, getuid)(JNIEnv*, jclass) {
  return static_cast<jint>(getuid());
}

LIBC_METHOD(jint, pipe)(JNIEnv* env, jclass, jintArray out) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  jint values[2] = {fds[0], fds[1]};
  env->SetIntArrayRegion(out, 0, 2, values);
  return 0;
}

LIBC_METHOD(jint, open)(JNIEnv* env, jclass, jstring path, jint flags, jint mode) {
  const char* p = env->GetStringUTFChars(path, nullptr);
  if (p == nullptr) return -1;
  int fd = open(p, flags, static_cast<mode_t>(mode));
  env->ReleaseStringUTFChars(path, p);
  return fd;
}

LIBC_METHOD(jint, close)(JNIEnv*, jclass, jint fd) {
  return close(fd);
}
LIBC_METHOD(jint, dup)(JNIEnv*, jclass, jint fd) {
  return dup(fd);
}
LIBC_METHOD(jint, dup2)(JNIEnv*, jclass, jint fd, jint to) {
  return dup2(fd, to);
}
LIBC_METHOD(jint, fcntl)(JNIEnv*, jclass, jint fd, jint cmd, jint arg) {
  return fcntl(fd, cmd, arg);
}

// read and write through a small stack buffer: the tests move a few bytes.
LIBC_METHOD(jint, read)(JNIEnv* env, jclass, jint fd, jbyteArray buf, jint count) {
  jbyte tmp[256];
  if (count < 0 || count > 256 || count > env->GetArrayLength(buf)) return -1;
  ssize_t n = read(fd, tmp, static_cast<size_t>(count));
  if (n > 0) env->SetByteArrayRegion(buf, 0, static_cast<jsize>(n), tmp);
  return static_cast<jint>(n);
}

LIBC_METHOD(jint, write)(JNIEnv* env, jclass, jint fd, jbyteArray buf, jint count) {
  jbyte tmp[256];
  if (count < 0 || count > 256 || count > env->GetArrayLength(buf)) return -1;
  env->GetByteArrayRegion(buf, 0, count, tmp);
  return static_cast<jint>(write(fd, tmp, static_cast<size_t>(count)));
}
