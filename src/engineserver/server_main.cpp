// The engine server: one JVM, made exactly as the engine library makes its
// own, serving the runs of the user's callers over a Unix socket
// (client.cpp is the other end; doc/engine-server.md describes the
// conversation). Usage: xslvalidate-engine-server <socket path>
//
// It accepts only peers of its own user id and callers with its umask,
// runs each connection on a thread of its own, stops a run whose caller
// goes away, exits after XSLVALIDATE_SERVER_IDLE seconds without a
// connection (default 600) and on SIGTERM, and retires (stops listening,
// finishes its runs, exits) after XSLVALIDATE_SERVER_MAX_RUNS runs (default
// 2000), so that what grows in Saxon over many runs is given back.
#include <jni.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <optional>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "jvmcore/java_vm.h"
#include "jvmengine/wire.h"
#include "xslvalidate_server_classes.h"  // generated: kServerClasses

namespace {

constexpr std::size_t kMaxRequestBytes = 64 << 20;
constexpr int kCacheEntries = 16;
constexpr jlong kCacheModuleBytes = 96LL << 20;

char gSocketPath[sizeof(sockaddr_un{}.sun_path)];
char gPidPath[sizeof gSocketPath + 8];  // beside the socket: <name>.pid
std::atomic<int> gActive{0};
std::atomic<long> gRuns{0};
mode_t gUmask = 022;
JavaVM* gVm = nullptr;
jclass gServerClass = nullptr;
jmethodID gRunMethod = nullptr;
jmethodID gCancelMethod = nullptr;
jclass gStringClass = nullptr;
jclass gDescriptorClass = nullptr;
jmethodID gDescriptorInit = nullptr;
jfieldID gDescriptorFd = nullptr;

// Removes the socket and the process id file, so no caller finds them.
void withdraw() {
  unlink(gSocketPath);
  unlink(gPidPath);
}

void leave(int) {
  withdraw();
  _exit(0);
}

// Writes this process's id to gPidPath, for users and tests to see the
// server and stop it.
void writePidFile() {
  const int fd = open(gPidPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return;
  const std::string text = std::to_string(getpid()) + "\n";
  if (write(fd, text.data(), text.size()) < 0) {
  }
  close(fd);
}

long settingOf(const char* name, long fallback) {
  const char* value = std::getenv(name);
  if (!value || !*value) return fallback;
  char* end;
  const long parsed = std::strtol(value, &end, 10);
  return (*end == '\0' && parsed > 0) ? parsed : fallback;
}

bool check(JNIEnv* env) {
  if (!env->ExceptionCheck()) return true;
  env->ExceptionDescribe();
  env->ExceptionClear();
  return false;
}

// Defines the server's classes beside the run class and starts its Java side.
bool startJavaSide(JNIEnv* env) {
  jclass loaderClass = env->FindClass("java/lang/ClassLoader");
  jmethodID systemLoader = env->GetStaticMethodID(loaderClass, "getSystemClassLoader",
                                                  "()Ljava/lang/ClassLoader;");
  jobject loader = env->CallStaticObjectMethod(loaderClass, systemLoader);
  if (!check(env)) return false;
  for (const EmbeddedClass& c : kServerClasses) {
    if (std::strcmp(c.name, "XslvalidateRun") == 0) continue;
    if (!env->DefineClass(c.name, loader, reinterpret_cast<const jbyte*>(c.bytes),
                          static_cast<jsize>(c.size)) && !check(env)) {
      return false;
    }
  }
  jclass server = env->FindClass("XslvalidateServer");
  if (!server) return check(env);
  gServerClass = static_cast<jclass>(env->NewGlobalRef(server));
  gRunMethod = env->GetStaticMethodID(
      server, "run", "([Ljava/lang/String;Ljava/io/FileDescriptor;[Ljava/lang/String;I)I");
  gCancelMethod = env->GetStaticMethodID(server, "cancel", "(Ljava/lang/ThreadGroup;)V");
  jmethodID start = env->GetStaticMethodID(server, "start", "(IJ)V");
  if (!gRunMethod || !gCancelMethod || !start) return check(env);
  env->CallStaticVoidMethod(server, start, kCacheEntries, kCacheModuleBytes);
  gStringClass = static_cast<jclass>(env->NewGlobalRef(env->FindClass("java/lang/String")));
  gDescriptorClass =
      static_cast<jclass>(env->NewGlobalRef(env->FindClass("java/io/FileDescriptor")));
  gDescriptorInit = env->GetMethodID(gDescriptorClass, "<init>", "()V");
  // JNI is not held to Java's access rules: the only way to give Java a
  // descriptor received from elsewhere without reflection into java.base.
  gDescriptorFd = env->GetFieldID(gDescriptorClass, "fd", "I");
  return check(env) && gDescriptorInit && gDescriptorFd;
}

jobjectArray stringArray(JNIEnv* env, const std::vector<std::string>& values) {
  jobjectArray array = env->NewObjectArray(static_cast<jsize>(values.size()), gStringClass, nullptr);
  for (std::size_t i = 0; array && i < values.size(); ++i) {
    // Modified UTF-8 differs from UTF-8 only for NUL and supplementary
    // characters; go through a byte array decoded as UTF-8 for exactness.
    jbyteArray bytes = env->NewByteArray(static_cast<jsize>(values[i].size()));
    env->SetByteArrayRegion(bytes, 0, static_cast<jsize>(values[i].size()),
                            reinterpret_cast<const jbyte*>(values[i].data()));
    static jmethodID fromBytes = env->GetMethodID(gStringClass, "<init>", "([BLjava/lang/String;)V");
    jstring charset = env->NewStringUTF("UTF-8");
    jobject text = env->NewObject(gStringClass, fromBytes, bytes, charset);
    env->SetObjectArrayElement(array, static_cast<jsize>(i), text);
    env->DeleteLocalRef(text);
    env->DeleteLocalRef(charset);
    env->DeleteLocalRef(bytes);
  }
  return array;
}

struct Request {
  std::vector<std::string> args;
  std::vector<std::string> environment;
  int offsetSeconds = 0;
};

std::optional<Request> parseRequest(const std::string& bytes) {
  Reader reader{bytes};
  Request request;
  for (auto* list : {&request.args, &request.environment}) {
    const auto count = reader.u32();
    if (!count) return std::nullopt;
    for (std::uint32_t i = 0; i < *count; ++i) {
      auto text = reader.text();
      if (!text) return std::nullopt;
      list->push_back(std::move(*text));
    }
  }
  const auto offset = reader.u32();
  if (!offset) return std::nullopt;
  request.offsetSeconds = static_cast<int>(*offset);
  return request;
}

// Runs one request on `env`, with `errFd` as the run's standard error,
// while a watcher stops the run if the caller's end of `fd` closes.
int runRequest(JNIEnv* env, jobject group, int fd, int errFd, const Request& request) {
  int wake[2];
  if (pipe2(wake, O_CLOEXEC) != 0) return 2;
  std::thread watcher([&] {
    pollfd watched[2] = {{fd, POLLRDHUP, 0}, {wake[0], POLLIN, 0}};
    while (poll(watched, 2, -1) < 0 && errno == EINTR) {
    }
    if (watched[1].revents) return;
    JNIEnv* watcherEnv = nullptr;
    if (gVm->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&watcherEnv), nullptr) != JNI_OK) return;
    watcherEnv->CallStaticVoidMethod(gServerClass, gCancelMethod, group);
    check(watcherEnv);
    gVm->DetachCurrentThread();
  });
  int status = 2;
  if (env->PushLocalFrame(16) == 0) {
    jobjectArray args = stringArray(env, request.args);
    jobjectArray environment = stringArray(env, request.environment);
    jobject descriptor = env->NewObject(gDescriptorClass, gDescriptorInit);
    if (descriptor) env->SetIntField(descriptor, gDescriptorFd, errFd);
    if (check(env) && args && environment && descriptor) {
      status = env->CallStaticIntMethod(gServerClass, gRunMethod, args, descriptor, environment,
                                        static_cast<jint>(request.offsetSeconds));
      if (!check(env)) status = 2;
    }
    env->PopLocalFrame(nullptr);
  }
  if (write(wake[1], "x", 1) < 0) {
  }
  watcher.join();
  close(wake[0]);
  close(wake[1]);
  return status;
}

void serve(int fd, jobject group) {
  JNIEnv* env = nullptr;
  JavaVMAttachArgs attach{JNI_VERSION_10, const_cast<char*>("xslvalidate-connection"), group};
  ucred peer{};
  socklen_t size = sizeof peer;
  const bool own = getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
                   peer.uid == getuid();
  const auto hello = own ? receiveExactly(fd, 12) : std::nullopt;
  bool accepted = false;
  if (hello && hello->compare(0, 4, kServerGreeting) == 0) {
    const std::string fields = hello->substr(4);
    Reader reader{fields};
    accepted = reader.u32() == kProtocolVersion && reader.u32() == gUmask;
  }
  if (hello) sendAll(fd, std::string(1, accepted ? kAccepted : kRefused));
  if (gVm->AttachCurrentThread(reinterpret_cast<void**>(&env), &attach) != JNI_OK) {
    close(fd);  // cannot happen short of running out of memory
    --gActive;
    return;
  }
  if (accepted) {
    for (;;) {
      int errFd = -1;
      const auto message = receiveMessage(fd, kMaxRequestBytes, &errFd);
      const auto request = message ? parseRequest(*message) : std::nullopt;
      if (!request || errFd < 0) {
        if (errFd >= 0) close(errFd);
        break;
      }
      ++gRuns;
      bool sent = sendAll(fd, std::string(1, kRunStarted));
      const int status = sent ? runRequest(env, group, fd, errFd, *request) : 2;
      close(errFd);
      Writer ended;
      ended.bytes.push_back(kRunEnded);
      ended.u32(static_cast<std::uint32_t>(status));
      if (!sent || !sendAll(fd, ended.bytes)) break;
    }
  }
  env->DeleteGlobalRef(group);
  gVm->DetachCurrentThread();
  close(fd);
  --gActive;
}

int listenAt(const char* path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  unlink(path);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      chmod(path, 0600) != 0 || listen(fd, 64) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::strlen(argv[1]) >= sizeof gSocketPath) {
    std::fputs("usage: xslvalidate-engine-server <socket path>\n", stderr);
    return 2;
  }
  std::strcpy(gSocketPath, argv[1]);
  std::string pidPath = argv[1];
  if (pidPath.size() > 5 && pidPath.compare(pidPath.size() - 5, 5, ".sock") == 0) {
    pidPath.resize(pidPath.size() - 5);
  }
  std::strcpy(gPidPath, (pidPath + ".pid").c_str());
  gUmask = umask(022);
  umask(gUmask);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGTERM, leave);
  const long idleSeconds = settingOf("XSLVALIDATE_SERVER_IDLE", 600);
  const long maxRuns = settingOf("XSLVALIDATE_SERVER_MAX_RUNS", 2000);

  // The library's own JVM options, C1 only included: with the optimising
  // compiler as well, its compile threads take the cores from the first
  // runs of a fresh server (doc/performance.md).
  JNIEnv* env = nullptr;
  gVm = startJavaVm();
  if (!gVm || gVm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK ||
      !startJavaSide(env)) {
    return 1;
  }
  jclass groupClass = env->FindClass("java/lang/ThreadGroup");
  jmethodID groupInit = env->GetMethodID(groupClass, "<init>", "(Ljava/lang/String;)V");
  // A daemon group goes away with its connection's last thread.
  jmethodID groupDaemon = env->GetMethodID(groupClass, "setDaemon", "(Z)V");
  jstring groupName = env->NewStringUTF("xslvalidate-run");
  if (!check(env)) return 1;

  const int listener = listenAt(gSocketPath);
  if (listener < 0) return 1;
  writePidFile();
  auto lastActivity = std::chrono::steady_clock::now();
  for (;;) {
    if (gRuns >= maxRuns) break;
    pollfd waiting{listener, POLLIN, 0};
    const int ready = poll(&waiting, 1, 1000);
    const auto now = std::chrono::steady_clock::now();
    if (gActive > 0) lastActivity = now;
    if (ready <= 0) {
      if (gActive == 0 && now - lastActivity >= std::chrono::seconds(idleSeconds)) break;
      continue;
    }
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    lastActivity = now;
    jobject local = env->NewObject(groupClass, groupInit, groupName);
    if (local) env->CallVoidMethod(local, groupDaemon, JNI_TRUE);
    jobject group = local ? env->NewGlobalRef(local) : nullptr;
    if (local) env->DeleteLocalRef(local);
    if (!check(env) || !group) {
      close(fd);
      continue;
    }
    ++gActive;
    std::thread(serve, fd, group).detach();
  }
  // Retiring: the next caller starts a new server while this one finishes.
  withdraw();
  close(listener);
  while (gActive > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  _exit(0);
}
