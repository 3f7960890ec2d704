// The engine server: one JVM, made exactly as the engine library makes its
// own, serving the runs of the user's callers over a Unix socket
// (client.cpp is the other end; doc/engine-server.md describes the
// conversation). Usage:
//   xslvalidate-engine-server <socket path> <context key>
//                             [<held list> <descriptor> <predecessor's socket>]
// The last three are a successor's (succession.h): the list of compiles its
// predecessor holds, the pipe on which it says it took over, and the
// identity of the predecessor's socket, the only one it may replace.
//
// It accepts only peers of its own user id, with its umask, whose context
// (jvmengine/caller_context.h) has the key it was started for and the
// credentials it has itself; runs each connection on a thread of its own,
// stops a run whose caller goes away, exits after XSLVALIDATE_SERVER_IDLE
// seconds without a connected caller (default 600) and on SIGTERM (after
// closing every connection, which stops and cleans up their runs), and
// retires after XSLVALIDATE_SERVER_MAX_RUNS runs (default 2000), so that
// what grows in Saxon over many runs is given back: it starts a successor
// warmed with what its caches hold and serves on until that successor has
// taken the socket over (or failed), then closes each connection before its
// next run, finishes the runs in progress and exits. Runs whose callers went
// away are not waited for long: one blocked in a system call (opening a
// pipe) may never end.
#include <jni.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <optional>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <mutex>
#include <map>
#include <thread>
#include <vector>

#include "jvmcore/embedded_classes.h"
#include "jvmcore/heap_size.h"
#include "jvmcore/java_vm.h"
#include "jvmcore/jni_check.h"
#include "serverprotocol/caller_context.h"
#include "serverprotocol/run_request.h"
#include "serverprotocol/wire.h"
#include "succession.h"
#include "xslvalidate_server_classes.h"  // generated: kServerClasses

namespace {

constexpr std::size_t kMaxRequestBytes = 64 << 20;
// Entries of each cache (stylesheets, schema sets) unless
// XSLVALIDATE_SERVER_CACHE_ENTRIES says otherwise: every released
// configuration's stylesheets and schema sets, and the verdict's own
// stylesheets of several workers, with room. The module bytes are the
// bound on memory.
constexpr long kCacheEntries = 128;
constexpr jlong kCacheModuleBytes = 96LL << 20;
// How long an exiting server waits for the runs of callers that went away.
constexpr auto kGoneRunsGrace = std::chrono::seconds(5);
// How long a retiring server serves on while its successor starts and
// compiles what it was handed; past it, the successor is ended and the
// server retires with none.
constexpr auto kSuccessionBound = std::chrono::seconds(60);
// How long a successor that is ended gets to end by itself.
constexpr auto kSuccessorEndWait = std::chrono::milliseconds(10000);

// XslvalidateServer.run's status for a run the caller must run itself
// (XslvalidateServer.IN_PROCESS).
constexpr int kStatusHandedBack = -1;

std::string gSocketPath;
std::string gPidPath;   // beside the socket: <name>.pid
std::string gLockPath;  // the start lock callers take: <name>.lock
std::string gOwnName;   // the identity of the socket this server put at gSocketPath
std::atomic<int> gActive{0};     // connection threads
std::atomic<int> gConnected{0};  // connections whose caller is still there
std::atomic<long> gRuns{0};
long gMaxRuns = 2000;            // XSLVALIDATE_SERVER_MAX_RUNS
// A pipe whose reading end the main loop watches: written once the run
// limit is reached, so the successor starts at once.
int gLimitReached[2] = {-1, -1};
mode_t gUmask = 022;
std::string gContextKey;         // the key of the callers this server serves
std::string gCredentials;        // its own credentials (CallerContext)
std::string gSettingsKey;        // its time zone's and locale's key (startSettingsKey)
JavaVM* gVm = nullptr;

// What the server's native side calls in Java, looked up once at start
// (global references and IDs).
struct JavaSide {
  jclass server = nullptr;
  jmethodID open = nullptr;
  jmethodID run = nullptr;
  jmethodID cancel = nullptr;
  jmethodID writeHeld = nullptr;
  jmethodID warmUp = nullptr;
  jclass string = nullptr;
  jmethodID stringFromBytes = nullptr;
  jobject utf8 = nullptr;  // the charset name "UTF-8"
  jclass descriptor = nullptr;
  jmethodID descriptorInit = nullptr;
  jfieldID descriptorFd = nullptr;
  jclass group = nullptr;
  jmethodID groupInit = nullptr;
  jmethodID groupDaemon = nullptr;
  jobject groupName = nullptr;
};
JavaSide gJava;

// The first bytes of the file at `path`; empty when it cannot be read.
std::string readSmallFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return "";
  char text[64];
  const ssize_t got = read(fd, text, sizeof text);
  close(fd);
  return got > 0 ? std::string(text, static_cast<std::size_t>(got)) : "";
}

// Removes the socket and the process id file, so no caller finds them:
// only while they are this server's own.
void withdraw() {
  if (gOwnName.empty() || nameIdentity(gSocketPath) != gOwnName) return;
  unlink(gSocketPath.c_str());
  const std::string pid = readSmallFile(gPidPath);
  if (std::atol(pid.c_str()) == getpid()) unlink(gPidPath.c_str());
}

// Set by SIGTERM: the server ends as it ends when idle or retiring, after
// closing every connection, so that each run is stopped and cleaned up
// the way a run whose caller went away is.
volatile sig_atomic_t gTerminating = 0;

void terminate(int) { gTerminating = 1; }

// The connections open now, each with whether it waits for its caller's
// next run, for SIGTERM and retiring to close; and whether the server
// retires, so that no connection starts another run.
std::mutex gConnectionsLock;
std::map<int, bool> gConnections;
bool gRetiring = false;

void shutDownConnections() {
  std::lock_guard<std::mutex> hold(gConnectionsLock);
  for (const auto& [fd, waiting] : gConnections) shutdown(fd, SHUT_RDWR);
}

// From now on no connection starts a run: those waiting for their caller's
// next run are closed now, the others once their run has ended. Their
// callers connect anew, to the successor if one took over.
void retire() {
  std::lock_guard<std::mutex> hold(gConnectionsLock);
  gRetiring = true;
  for (const auto& [fd, waiting] : gConnections) {
    if (waiting) shutdown(fd, SHUT_RDWR);
  }
}

// Marks connection `fd` as waiting for its caller's next run (`waiting`)
// or not; false when the server retires, and the connection must close
// instead.
bool markWaiting(int fd, bool waiting) {
  std::lock_guard<std::mutex> hold(gConnectionsLock);
  gConnections[fd] = waiting;
  return !gRetiring;
}

// Writes this process's id to gPidPath, for users and tests to see the
// server and stop it: to a name of its own first, then renamed into place,
// so the file always names one server.
void writePidFile() {
  const std::string temporary = gPidPath + "." + std::to_string(getpid());
  const int fd =
      open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return;
  const std::string text = std::to_string(getpid()) + "\n";
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  if (!written || rename(temporary.c_str(), gPidPath.c_str()) != 0) unlink(temporary.c_str());
}

long settingOf(const char* name, long fallback) {
  const char* value = std::getenv(name);
  if (!value || !*value) return fallback;
  char* end;
  const long parsed = std::strtol(value, &end, 10);
  return (*end == '\0' && parsed > 0) ? parsed : fallback;
}

// A global reference to the local `object` (which is released), or
// nullptr with the reason in `*why`.
template <typename T>
T kept(JNIEnv* env, T object, const char* step, std::string* why) {
  if (!checked(env, object, step, why)) return nullptr;
  T global = static_cast<T>(env->NewGlobalRef(object));
  env->DeleteLocalRef(object);
  return checked(env, global, step, why) ? global : nullptr;
}

// Defines the server's classes beside the run classes, starts its Java side
// and looks up what the connections call. False with the reason in `*why`.
bool startJavaSide(JNIEnv* env, std::string* why) {
  if (!defineEmbeddedClasses(env, kServerClasses, why)) return false;
  JavaSide& j = gJava;
  j.server = kept(env, env->FindClass("XslvalidateServer"), "finding XslvalidateServer", why);
  if (!j.server) return false;
  j.open = env->GetStaticMethodID(
      j.server, "open",
      "([Ljava/lang/String;Ljava/io/FileDescriptor;[Ljava/lang/String;IZ)LRunContext;");
  if (!checked(env, j.open, "finding XslvalidateServer.open", why)) return false;
  j.run = env->GetStaticMethodID(j.server, "run", "(LRunContext;)I");
  if (!checked(env, j.run, "finding XslvalidateServer.run", why)) return false;
  j.cancel = env->GetStaticMethodID(j.server, "cancel", "(LRunContext;)V");
  if (!checked(env, j.cancel, "finding XslvalidateServer.cancel", why)) return false;
  j.writeHeld = env->GetStaticMethodID(j.server, "writeHeld", "(Ljava/lang/String;)Z");
  if (!checked(env, j.writeHeld, "finding XslvalidateServer.writeHeld", why)) return false;
  j.warmUp = env->GetStaticMethodID(j.server, "warmUp", "(Ljava/lang/String;)I");
  if (!checked(env, j.warmUp, "finding XslvalidateServer.warmUp", why)) return false;
  jmethodID start = env->GetStaticMethodID(j.server, "start", "(IJ)V");
  if (!checked(env, start, "finding XslvalidateServer.start", why)) return false;
  const long entries = settingOf("XSLVALIDATE_SERVER_CACHE_ENTRIES", kCacheEntries);
  env->CallStaticVoidMethod(j.server, start,
                            static_cast<jint>(std::min<long>(entries, INT32_MAX)),
                            kCacheModuleBytes);
  if (!checked(env, "starting the server's Java side", why)) return false;

  j.string = kept(env, env->FindClass("java/lang/String"), "finding java.lang.String", why);
  if (!j.string) return false;
  j.stringFromBytes = env->GetMethodID(j.string, "<init>", "([BLjava/lang/String;)V");
  if (!checked(env, j.stringFromBytes, "finding String(byte[], String)", why)) return false;
  j.utf8 = kept(env, env->NewStringUTF("UTF-8"), "making the charset name", why);
  if (!j.utf8) return false;

  j.descriptor =
      kept(env, env->FindClass("java/io/FileDescriptor"), "finding java.io.FileDescriptor", why);
  if (!j.descriptor) return false;
  j.descriptorInit = env->GetMethodID(j.descriptor, "<init>", "()V");
  if (!checked(env, j.descriptorInit, "finding FileDescriptor()", why)) return false;
  // JNI is not held to Java's access rules: the only way to give Java a
  // descriptor received from elsewhere without reflection into java.base.
  j.descriptorFd = env->GetFieldID(j.descriptor, "fd", "I");
  if (!checked(env, j.descriptorFd, "finding FileDescriptor.fd", why)) return false;

  j.group = kept(env, env->FindClass("java/lang/ThreadGroup"), "finding java.lang.ThreadGroup",
                 why);
  if (!j.group) return false;
  j.groupInit = env->GetMethodID(j.group, "<init>", "(Ljava/lang/String;)V");
  if (!checked(env, j.groupInit, "finding ThreadGroup(String)", why)) return false;
  // A daemon group goes away with its connection's last thread.
  j.groupDaemon = env->GetMethodID(j.group, "setDaemon", "(Z)V");
  if (!checked(env, j.groupDaemon, "finding ThreadGroup.setDaemon", why)) return false;
  j.groupName = kept(env, env->NewStringUTF("xslvalidate-run"), "making the group name", why);
  return j.groupName != nullptr;
}

// A Java String of `value` decoded as UTF-8 (a local reference, as is its
// byte array's); nullptr with the reason in `*why`. Modified UTF-8
// (NewStringUTF) differs from UTF-8 for NUL and supplementary characters,
// so the value goes through a byte array that String decodes.
jobject javaString(JNIEnv* env, const std::string& value, std::string* why) {
  const auto size = static_cast<jsize>(value.size());
  jbyteArray bytes = env->NewByteArray(size);
  if (!checked(env, bytes, "making a byte array", why)) return nullptr;
  env->SetByteArrayRegion(bytes, 0, size, reinterpret_cast<const jbyte*>(value.data()));
  if (!checked(env, "filling a byte array", why)) return nullptr;
  jobject text = env->NewObject(gJava.string, gJava.stringFromBytes, bytes, gJava.utf8);
  return checked(env, text, "decoding a string", why) ? text : nullptr;
}

// A Java String[] of `values`, each decoded as UTF-8 (javaString); nullptr
// with the reason in `*why`.
jobjectArray stringArray(JNIEnv* env, const std::vector<std::string>& values, std::string* why) {
  jobjectArray array =
      env->NewObjectArray(static_cast<jsize>(values.size()), gJava.string, nullptr);
  if (!checked(env, array, "making a string array", why)) return nullptr;
  for (std::size_t i = 0; i < values.size(); ++i) {
    LocalFrame pass(env, 2);
    if (!pass.made("making room for a string", why)) return nullptr;
    jobject text = javaString(env, values[i], why);
    if (!text) return nullptr;
    env->SetObjectArrayElement(array, static_cast<jsize>(i), text);
    if (!checked(env, "storing a string", why)) return nullptr;
  }
  return array;
}

struct Request {
  std::vector<std::string> args;
  std::vector<std::string> environment;
  int offsetSeconds = 0;
  bool debug = false;  // the caller's debug switch
};

// The run's options are made here from the typed record that came over
// the socket (run_request.h), never taken from the caller as strings.
std::optional<Request> parseRequest(const std::string& bytes) {
  Reader reader{bytes};
  Request request;
  const auto record = readRunRequest(reader);
  if (!record) return std::nullopt;
  request.args = optionsOf(record->first, record->second);
  auto environment = reader.texts();
  if (!environment) return std::nullopt;
  request.environment = std::move(*environment);
  const auto offset = reader.u32();
  const auto debug = reader.u32();
  if (!offset || !debug) return std::nullopt;
  request.offsetSeconds = static_cast<int>(*offset);
  request.debug = *debug != 0;
  return request;
}

// Writes `line` and a newline to `fd`, as one write; a failure is not
// for the server to mend.
void writeLine(int fd, const std::string& line) {
  const std::string text = line + "\n";
  if (write(fd, text.data(), text.size()) < 0) {
  }
}

// Writes what went wrong in the server to `fd`: the caller's standard error
// for a run, the server's own otherwise.
void complain(int fd, const std::string& why) {
  writeLine(fd, "xslvalidate-engine-server: " + why);
}

// Cancels `run` (XslvalidateServer.cancel) from a thread of its own,
// attached for the moment: a run not yet started never starts, one in
// progress is stopped.
void cancelRun(jobject run) {
  JNIEnv* env = nullptr;
  if (gVm->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) return;
  env->CallStaticVoidMethod(gJava.server, gJava.cancel, run);
  std::string why;
  if (!checked(env, "stopping a run", &why)) complain(STDERR_FILENO, why);
  gVm->DetachCurrentThread();
}

// The record of the request's run (XslvalidateServer.open, a global
// reference), with `errFd` as the run's standard error; nothing of the run
// starts. nullptr with the reason in `*why`.
jobject openRun(JNIEnv* env, int errFd, const Request& request, std::string* why) {
  LocalFrame frame(env, 4);
  if (!frame.made("making room for a run", why)) return nullptr;
  jobjectArray args = stringArray(env, request.args, why);
  if (!args) return nullptr;
  jobjectArray environment = stringArray(env, request.environment, why);
  if (!environment) return nullptr;
  jobject descriptor = env->NewObject(gJava.descriptor, gJava.descriptorInit);
  if (!checked(env, descriptor, "making a file descriptor", why)) return nullptr;
  env->SetIntField(descriptor, gJava.descriptorFd, errFd);
  if (!checked(env, "setting a file descriptor", why)) return nullptr;
  jobject run = env->CallStaticObjectMethod(gJava.server, gJava.open, args, descriptor,
                                            environment,
                                            static_cast<jint>(request.offsetSeconds),
                                            request.debug ? JNI_TRUE : JNI_FALSE);
  if (!checked(env, run, "opening a run", why)) return nullptr;
  jobject global = env->NewGlobalRef(run);
  return checked(env, global, "keeping a run", why) ? global : nullptr;
}

// Counts a connection's caller as gone, once.
void callerGone(std::atomic<bool>* connected) {
  if (connected->exchange(false)) --gConnected;
}

// Whether the peer with process id `pid` has the context this server was
// started for (the key) and the credentials the server itself has.
bool sameContext(pid_t pid) {
  const auto peer = callerContextOf("/proc/" + std::to_string(pid));
  return peer && contextKey(*peer) == gContextKey && peer->credentials == gCredentials;
}

// Runs one request on `env`, with `errFd` as the run's standard error,
// while a watcher cancels the run if the caller's end of `fd` closes (and
// counts the caller as gone). The run's record is made here, on the
// connection's thread, before the watcher can see the caller go: a cancel
// always finds it, and a run cancelled before it starts never starts.
int runRequest(JNIEnv* env, int fd, int errFd, const Request& request,
               std::atomic<bool>* connected) {
  std::string why;
  jobject run = openRun(env, errFd, request, &why);
  if (!run) {
    complain(errFd, why);
    return 2;
  }
  int wake[2];
  if (pipe2(wake, O_CLOEXEC) != 0) {
    env->DeleteGlobalRef(run);
    return 2;
  }
  std::thread watcher([&] {
    pollfd watched[2] = {{fd, POLLRDHUP, 0}, {wake[0], POLLIN, 0}};
    while (poll(watched, 2, -1) < 0 && errno == EINTR) {
    }
    if (watched[1].revents) return;
    callerGone(connected);
    cancelRun(run);
  });
  int status = env->CallStaticIntMethod(gJava.server, gJava.run, run);
  if (!checked(env, "running", &why)) {
    complain(errFd, why);
    status = 2;
  }
  if (write(wake[1], "x", 1) < 0) {
  }
  watcher.join();
  close(wake[0]);
  close(wake[1]);
  env->DeleteGlobalRef(run);
  return status;
}

// A new daemon thread group for a connection's threads (a global
// reference); nullptr with the reason in `*why`.
jobject newConnectionGroup(JNIEnv* env, std::string* why) {
  LocalFrame frame(env, 1);
  if (!frame.made("making room for a thread group", why)) return nullptr;
  jobject group = env->NewObject(gJava.group, gJava.groupInit, gJava.groupName);
  if (!checked(env, group, "making a thread group", why)) return nullptr;
  env->CallVoidMethod(group, gJava.groupDaemon, JNI_TRUE);
  if (!checked(env, "making a thread group a daemon", why)) return nullptr;
  jobject global = env->NewGlobalRef(group);
  return checked(env, global, "keeping a thread group", why) ? global : nullptr;
}

void serve(int fd, jobject group) {
  JNIEnv* env = nullptr;
  JavaVMAttachArgs attach{kJniVersion, const_cast<char*>("xslvalidate-connection"), group};
  ucred peer{};
  socklen_t size = sizeof peer;
  std::atomic<bool> connected{true};
  const bool own = getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
                   peer.uid == getuid() && sameContext(peer.pid);
  const auto hello = own ? receiveExactly(fd, 12) : std::nullopt;
  bool accepted = false;
  if (hello && hello->compare(0, 4, kServerGreeting) == 0) {
    const std::string fields = hello->substr(4);
    Reader reader{fields};
    accepted = reader.u32() == kProtocolVersion && reader.u32() == gUmask;
    // The caller's time zone and locale must be the ones this JVM took at
    // its start (caller_context.h).
    Writer expected;
    expected.text(gSettingsKey);
    const auto key = accepted ? receiveExactly(fd, expected.bytes.size()) : std::nullopt;
    accepted = key && *key == expected.bytes;
  }
  if (hello) sendAll(fd, std::string(1, accepted ? kAccepted : kRefused));
  if (gVm->AttachCurrentThread(reinterpret_cast<void**>(&env), &attach) != JNI_OK) {
    close(fd);  // cannot happen short of running out of memory
    callerGone(&connected);
    --gActive;
    return;
  }
  if (accepted) {
    for (;;) {
      // Once the server retires, the connection closes before the next
      // run starts (or while it waits for it), and the caller runs it (and
      // the rest of its conversation) with the next server or itself.
      if (!markWaiting(fd, true)) break;
      int errFd = -1;
      const auto message = receiveMessage(fd, kMaxRequestBytes, &errFd);
      const bool serving = markWaiting(fd, false);
      const auto request = message ? parseRequest(*message) : std::nullopt;
      if (!request || errFd < 0 || !serving) {
        if (errFd >= 0) close(errFd);
        break;
      }
      if (++gRuns == gMaxRuns && write(gLimitReached[1], "L", 1) < 0) {
      }
      if (request->debug) {
        writeLine(errFd, "xslvalidate debug: run on the engine server (process " +
                             std::to_string(getpid()) + ", run " + std::to_string(gRuns.load()) +
                             ")");
      }
      bool sent = sendAll(fd, std::string(1, kRunStarted));
      const int status = sent ? runRequest(env, fd, errFd, *request, &connected) : 2;
      close(errFd);
      Writer ended;
      if (status == kStatusHandedBack) {
        ended.bytes.push_back(kRunHandedBack);
      } else {
        ended.bytes.push_back(kRunEnded);
        ended.u32(static_cast<std::uint32_t>(status));
      }
      if (!sent || !sendAll(fd, ended.bytes)) break;
    }
  }
  callerGone(&connected);
  env->DeleteGlobalRef(group);
  gVm->DetachCurrentThread();
  {
    std::lock_guard<std::mutex> hold(gConnectionsLock);
    gConnections.erase(fd);
  }
  close(fd);
  --gActive;
}

// Serves the accepted connection `fd` on a thread of its own.
void startConnection(JNIEnv* env, int fd) {
  std::string why;
  jobject group = newConnectionGroup(env, &why);
  if (!group) {
    complain(STDERR_FILENO, why);
    close(fd);
    return;
  }
  ++gActive;
  ++gConnected;
  {
    std::lock_guard<std::mutex> hold(gConnectionsLock);
    gConnections[fd] = false;
  }
  std::thread(serve, fd, group).detach();
}

// Accepts and serves the connections already queued on `listener` (their
// callers connected before the successor took the socket's name over), so
// that none is refused; being retired, the server closes each before its
// first run.
void acceptQueued(JNIEnv* env, int listener) {
  if (fcntl(listener, F_SETFL, O_NONBLOCK) != 0) return;
  for (int fd; (fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
    startConnection(env, fd);
  }
}

// Starts the successor of this retiring server, handing it the list of
// what the caches hold (XslvalidateServer.writeHeld); nullopt when there
// will be none.
std::optional<Successor> startWarmSuccessor(JNIEnv* env) {
  // An anonymous file: the list has no name anywhere, and goes with the
  // last process that holds it, however the hand-over ends.
  const int list = newHeldList();
  if (list < 0) return std::nullopt;
  std::string why;
  LocalFrame frame(env, 2);
  jobject path = frame.made("making room for the list's name", &why)
                     ? javaString(env, heldListName(list), &why)
                     : nullptr;
  const jboolean written =
      path ? env->CallStaticBooleanMethod(gJava.server, gJava.writeHeld, path) : JNI_FALSE;
  if (path && !checked(env, "listing the held compiles", &why)) complain(STDERR_FILENO, why);
  if (!written || !why.empty()) {
    close(list);
    return std::nullopt;
  }
  return startSuccessor(gSocketPath, gContextKey, list, gOwnName);
}

// A successor's start: compiles what its predecessor listed in `heldList`,
// then takes the socket's name over and says so on `readyFd`. The
// listening socket; exits when it cannot take over (the name no longer has
// the socket `predecessor`) or was told to end.
int succeed(JNIEnv* env, const std::string& heldList, int readyFd,
            const std::string& predecessor) {
  std::string why;
  jobject path = javaString(env, heldList, &why);
  if (path) {
    env->CallStaticIntMethod(gJava.server, gJava.warmUp, path);
    checked(env, "compiling what the predecessor held", &why);
  }
  close(kHeldDescriptor);  // read: the list goes once its writer is gone too
  if (!why.empty()) {
    complain(STDERR_FILENO, why);
    _exit(1);
  }
  if (gTerminating) _exit(0);
  const int listener = takeOver(gSocketPath, predecessor, gLockPath);
  if (listener < 0) _exit(1);
  gOwnName = nameIdentity(gSocketPath);
  writePidFile();
  tellTookOver(readyFd);
  return listener;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 6) {
    std::fputs("usage: xslvalidate-engine-server <socket path> <context key> "
               "[<held list> <descriptor> <predecessor's socket>]\n",
               stderr);
    return 2;
  }
  // A successor: its predecessor's list, and the pipe to say it took over
  // on (kept from the programs it starts itself).
  const bool successor = argc == 6;
  const std::string heldList = successor ? argv[3] : "";
  const int readyFd = successor ? std::atoi(argv[4]) : -1;
  if (successor && (readyFd != kReadyDescriptor || fcntl(readyFd, F_SETFD, FD_CLOEXEC) != 0 ||
                    fcntl(kHeldDescriptor, F_SETFD, FD_CLOEXEC) != 0)) {
    return 2;
  }
  // A successor that fails, for tests alone
  // (XSLVALIDATE_SERVER_TEST_FAILING_SUCCESSOR, doc/building-and-testing.md):
  // its predecessor must then retire as a server with none does.
  if (const char* fails = std::getenv("XSLVALIDATE_SERVER_TEST_FAILING_SUCCESSOR");
      successor && fails && *fails) {
    return 1;
  }
  gContextKey = argv[2];
  const auto own = callerContextOf("/proc/self");
  if (!own) return 1;
  gCredentials = own->credentials;
  gSettingsKey = startSettingsKey();
  gSocketPath = argv[1];
  std::string base = gSocketPath;
  if (base.size() > 5 && base.compare(base.size() - 5, 5, ".sock") == 0) {
    base.resize(base.size() - 5);
  }
  gPidPath = base + ".pid";
  gLockPath = base + ".lock";
  sweepStaleHandOvers(gSocketPath);
  gUmask = umask(022);
  umask(gUmask);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGTERM, terminate);
  const long idleSeconds = settingOf("XSLVALIDATE_SERVER_IDLE", 600);
  gMaxRuns = settingOf("XSLVALIDATE_SERVER_MAX_RUNS", gMaxRuns);

  // The library's own JVM options, C1 only included: with the optimising
  // compiler as well, its compile threads take the cores from the first
  // runs of a fresh server (doc/performance.md). One of its own: a full
  // collection the server asks for (MemoryWatch.java: once a run that took
  // most of the heap is gone, or when idle) also resizes the heap, so
  // memory a run took is given back to the system.
  std::vector<std::string> jvmOptions = {"-XX:+UseAdaptiveSizePolicyWithSystemGC"};
  // A heap for tests alone (XSLVALIDATE_SERVER_TEST_HEAP,
  // doc/building-and-testing.md): the heap watch's test fills a small heap
  // in seconds rather than the default one in a minute. After the
  // library's own maximum heap, so it is the one that counts.
  if (const char* heap = std::getenv("XSLVALIDATE_SERVER_TEST_HEAP"); heap && *heap) {
    const auto chosen = maxHeapOption(heap);
    if (!chosen) {
      complain(STDERR_FILENO, std::string("XSLVALIDATE_SERVER_TEST_HEAP=") + heap +
                                  " is not a heap size");
      return 1;
    }
    jvmOptions.push_back(*chosen);
  }
  JNIEnv* env = nullptr;
  gVm = startJavaVm(jvmOptions);
  if (!gVm) return 1;
  if (gVm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) {
    complain(STDERR_FILENO, "cannot attach the main thread to the Java VM");
    return 1;
  }
  std::string why;
  if (!startJavaSide(env, &why)) {
    complain(STDERR_FILENO, why);
    return 1;
  }

  if (pipe2(gLimitReached, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
  int listener;
  if (successor) {
    listener = succeed(env, heldList, readyFd, argv[5]);
  } else {
    // A name that has a socket is another server's (the caller that
    // started this one removed a stale one first): this one ends.
    listener = listenAt(gSocketPath);
    if (listener < 0) return 1;
    gOwnName = nameIdentity(gSocketPath);
    writePidFile();
  }
  // At its number of runs the server starts its successor once, and serves
  // on (past the number) until the successor has taken over, has failed,
  // or has taken longer than kSuccessionBound.
  std::optional<Successor> next;
  bool succession = false;
  auto lastActivity = std::chrono::steady_clock::now();
  for (;;) {
    if (gTerminating) break;
    if (gRuns >= gMaxRuns && !succession) {
      succession = true;
      next = startWarmSuccessor(env);
      if (!next) break;
    }
    if (next && (successionState(&*next) != Succession::kPending ||
                 std::chrono::steady_clock::now() - next->started >= kSuccessionBound)) {
      break;
    }
    pollfd waiting[3] = {{listener, POLLIN, 0},
                         {next ? next->ready : -1, POLLIN, 0},
                         {succession ? -1 : gLimitReached[0], POLLIN, 0}};
    const int ready = poll(waiting, 3, 1000);
    const auto now = std::chrono::steady_clock::now();
    if (gConnected > 0) lastActivity = now;
    if (ready <= 0 || !(waiting[0].revents & POLLIN)) {
      if (gConnected == 0 && now - lastActivity >= std::chrono::seconds(idleSeconds)) break;
      continue;
    }
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    lastActivity = now;
    startConnection(env, fd);
  }
  // Retiring, idle or told to end. A successor that has not taken over by
  // now is ended. When one has, the socket's name and the pid file are
  // its own: this server accepts what its callers queued before the name
  // changed hands and leaves both alone. When none has, the next caller
  // starts a new server. Either way this one finishes the runs of callers
  // still connected, closing each connection before its next run; a run
  // whose caller went away gets a short while to remove its temporary
  // file, no more: it may be blocked for good.
  const bool handedOver =
      next && endSuccession(&*next, kSuccessorEndWait) == Succession::kTookOver;
  retire();
  if (handedOver) {
    acceptQueued(env, listener);
  } else {
    withdraw();
  }
  close(listener);
  auto callersGone = std::chrono::steady_clock::now();
  bool shutDown = false;
  while (gActive > 0) {
    if (gTerminating && !shutDown) {
      shutDownConnections();
      shutDown = true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (gConnected > 0) callersGone = now;
    if (now - callersGone >= kGoneRunsGrace) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  _exit(0);
}
