// Native half of NativeSocketOpts: finds the descriptor behind Java socket
// objects, selects a socket's TCP congestion control and reads its figures.
// Failures print one perror line and give a fixed result; nothing is thrown
// from here and no state outlives a call.
#include <jni.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include "tcpstats.h"

#define TCPTUNE_EXPORT(name) Java_com_quillora_braidNet_socketUtils_NativeSocketOpts_##name

namespace {

const char* const socketImplMessage = "Couldn't get SocketImpl from this socket. Paketo man.";
const char* const serverChannelMessage =
    "Couldn't get ServerSocketChannelImpl from this socket either. Paketo man.";
const char* const clientChannelMessage =
    "Couldn't get SocketChannelImpl from this socket either. Paketo man.";
const char* const fdObjectMessage = "E na edw loipon gamietai.";
const char* const fdNumberMessage = "Eniote gamietai kai edw omws.";

const char* const selectMessage = "error: could not select tcp congestion algorithm:";
const char* const readNameMessage = "error: could not read tcp congestion algorithm!";
const char* const tcpInfoMessage = "could not get TCP_INFO statistics!!!";
const char* const ioctlMessage = "could not get ioctl statistics!!!";

const char* const doneText = "Done!";
const char* const errorText = "Error";

// Request number of SIOCOUTQ (the same as TIOCOUTQ) on Linux.
const unsigned long sendQueueRequest = 0x5411;
const socklen_t setNameSize = 32;
const socklen_t readNameSize = 64;

// The object field `name` of `object`, looked up on its run-time class; null
// when the field holds null or doesn't exist (then NoSuchFieldError is pending).
jobject objectField(JNIEnv* env, jobject object, const char* name, const char* signature) {
  jclass cls = env->GetObjectClass(object);
  jfieldID id = env->GetFieldID(cls, name, signature);
  return id ? env->GetObjectField(object, id) : nullptr;
}

// The object in the field `delegate` of an implementation that forwards to
// another one, or null. A missing field is expected here, so its error is
// cleared rather than handed to the caller.
jobject delegateOf(JNIEnv* env, jobject impl) {
  jclass cls = env->GetObjectClass(impl);
  jfieldID id = env->GetFieldID(cls, "delegate", "Ljava/net/SocketImpl;");
  if (!id) {
    env->ExceptionClear();
    return nullptr;
  }
  return env->GetObjectField(impl, id);
}

// Stage 2: the FileDescriptor object of the implementation or channel object.
// A client Socket holds a forwarding implementation whose own descriptor
// object stays null, so the implementation walk follows `delegate` once.
jobject fileDescriptorOf(JNIEnv* env, jobject inner, bool implementationWalk) {
  jobject fdObject = objectField(env, inner, "fd", "Ljava/io/FileDescriptor;");
  if (fdObject || !implementationWalk || env->ExceptionCheck()) return fdObject;
  jobject delegate = delegateOf(env, inner);
  if (!delegate) return nullptr;
  return objectField(env, delegate, "fd", "Ljava/io/FileDescriptor;");
}

jint failWalk(const char* message) {
  std::perror(message);
  return -1;
}

// Sets TCP_CONGESTION from a Java string; shared by the two setters, of which
// the server one also echoes the refused name on standard output.
jstring selectCongestion(JNIEnv* env, jint descriptor, jstring algorithm, bool echoName) {
  const char* chars = nullptr;
  if (algorithm) {
    chars = env->GetStringUTFChars(algorithm, nullptr);
    if (!chars) return nullptr;  // OutOfMemoryError is pending
  }
  char name[setNameSize] = {};
  int error = 0;
  if (!chars)
    error = EINVAL;
  else if (std::strlen(chars) >= sizeof name)
    error = ENAMETOOLONG;  // refused before the kernel is asked
  else
    std::memcpy(name, chars, std::strlen(chars) + 1);
  if (!error && setsockopt(descriptor, IPPROTO_TCP, TCP_CONGESTION, name, setNameSize) < 0)
    error = errno;
  if (error) {
    if (echoName) std::printf("%s::", chars ? chars : "");
    errno = error;
    std::perror(selectMessage);
  }
  if (chars) env->ReleaseStringUTFChars(algorithm, chars);
  return env->NewStringUTF(error ? errorText : doneText);
}

// Reads the first form of TCP_INFO; false (after the perror line) on failure.
bool readTcpInfo(jint descriptor, unsigned char (&info)[tcpstats::kInfoLength]) {
  socklen_t length = static_cast<socklen_t>(tcpstats::kInfoLength);
  if (getsockopt(descriptor, IPPROTO_TCP, TCP_INFO, info, &length) != 0) {
    std::perror(tcpInfoMessage);
    return false;
  }
  return true;
}

jint tcpInfoWord(jint descriptor, std::size_t offset) {
  unsigned char info[tcpstats::kInfoLength] = {};
  if (!readTcpInfo(descriptor, info)) return -2;
  return static_cast<jint>(tcpstats::infoWord(info, offset));
}

}  // namespace

extern "C" {

JNIEXPORT jint getFD(JNIEnv* env, jobject socket, jint kind, jint server) {
  const bool channelWalk = kind == 1;
  const char* message = !channelWalk ? socketImplMessage
                        : server > 0 ? serverChannelMessage
                                     : clientChannelMessage;
  if (!socket) return failWalk(message);
  jobject inner = !channelWalk ? objectField(env, socket, "impl", "Ljava/net/SocketImpl;")
                  : server > 0
                      ? objectField(env, socket, "ssc", "Lsun/nio/ch/ServerSocketChannelImpl;")
                      : objectField(env, socket, "sc", "Lsun/nio/ch/SocketChannelImpl;");
  if (!inner) return failWalk(message);
  jobject fdObject = fileDescriptorOf(env, inner, !channelWalk);
  if (!fdObject) return failWalk(fdObjectMessage);
  jclass fdClass = env->GetObjectClass(fdObject);
  jfieldID number = env->GetFieldID(fdClass, "fd", "I");
  if (!number) return failWalk(fdNumberMessage);
  return env->GetIntField(fdObject, number);
}

JNIEXPORT jint JNICALL TCPTUNE_EXPORT(getSockFD)(JNIEnv* env, jobject, jobject socket, jint kind) {
  return getFD(env, socket, kind, 0);
}

JNIEXPORT jint JNICALL TCPTUNE_EXPORT(getServerSockFD)(JNIEnv* env, jobject, jobject socket,
                                                       jint kind) {
  return getFD(env, socket, kind, 1);
}

JNIEXPORT jstring JNICALL TCPTUNE_EXPORT(setSocketCongestionControl)(JNIEnv* env, jobject,
                                                                     jint descriptor,
                                                                     jstring algorithm) {
  return selectCongestion(env, descriptor, algorithm, false);
}

JNIEXPORT jstring JNICALL TCPTUNE_EXPORT(setServerSocketCongestionControl)(JNIEnv* env, jobject,
                                                                           jint descriptor,
                                                                           jstring algorithm) {
  return selectCongestion(env, descriptor, algorithm, true);
}

JNIEXPORT jint JNICALL TCPTUNE_EXPORT(getCongestionWindowInt)(JNIEnv*, jobject, jint descriptor) {
  return tcpInfoWord(descriptor, tcpstats::kOffSndCwnd);
}

JNIEXPORT jint JNICALL TCPTUNE_EXPORT(getWriteQueueBytesInt)(JNIEnv*, jobject, jint descriptor) {
  return tcpInfoWord(descriptor, tcpstats::kOffFackets);
}

JNIEXPORT jint JNICALL TCPTUNE_EXPORT(getWriteQueueBytesIntFromIoctl)(JNIEnv*, jobject,
                                                                      jint descriptor) {
  int queued = 0;
  if (ioctl(descriptor, sendQueueRequest, &queued) < 0) {
    std::perror(ioctlMessage);
    return -2;
  }
  return queued;
}

JNIEXPORT jstring JNICALL TCPTUNE_EXPORT(getSocketStats)(JNIEnv* env, jobject, jint descriptor) {
  // Left empty when the name can't be read, so the line still has nine fields.
  char name[readNameSize] = {};
  socklen_t nameLength = readNameSize;
  if (getsockopt(descriptor, IPPROTO_TCP, TCP_CONGESTION, name, &nameLength) < 0) {
    std::perror(readNameMessage);
  }
  name[readNameSize - 1] = '\0';
  unsigned char info[tcpstats::kInfoLength] = {};
  if (!readTcpInfo(descriptor, info)) return env->NewStringUTF(errorText);
  char line[tcpstats::kLineSize];
  tcpstats::formatStats(line, info, name);
  return env->NewStringUTF(line);
}

}  // extern "C"
