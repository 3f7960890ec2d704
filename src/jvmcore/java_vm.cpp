#include "java_vm.h"

#include <dlfcn.h>
#include <locale.h>
#include <pthread.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "heap_size.h"
#include "report_file_natives.h"
#include "shared_archive.h"
#include "xslvalidate_run_classes.h"  // generated: kRunClasses

namespace {

// Options of the one JVM. Runs are short and the process ends after a few
// stylesheets, so the choices favour start-up and a small footprint
// (README.md, "Speed", has the figures behind them):
//  -Djava.class.path  Saxon-HE, whose manifest adds Debian's Xerces exactly
//                     as for `java -cp Saxon-HE.jar`, so parsing is the
//                     same; the Xerces jar named again after it, so that
//                     the class-data archive can hold Xerces' classes.
//  -Xshare:auto       map class-data archives when they fit this JVM and
//                     class path, load classes the slow way when they do not.
//  -Xlog:...          JVM log lines go to standard error, never to standard
//                     output, which is the tool's; the class-data archive's
//                     own lines are off, so an archive that does not fit is
//                     dropped without a word.
//  -XX:+UseParallelGC stop-the-world collections, as with the serial
//                     collector, but copying with every core: compiling a
//                     rule set keeps much alive through many young
//                     collections, which then cost markedly less.
//  -Xmn32m            a small fixed young generation instead of a third of
//                     the initial heap: the heap the runs touch, and so the
//                     resident memory, shrinks, at no cost in time for
//                     invoices of usual size (more collections cost a
//                     little on very large ones); the old generation still
//                     grows to the maximum heap.
//                     (doc/performance.md has the figures.)
//  -XX:TieredStopAtLevel=1  C1 only: the validation stylesheets are huge
//                     generated XSLT run once per process; C2 compiles
//                     would finish after the run.
//  -XX:CICompilerCount=1  one compiler thread, which leaves the second of
//                     two cores to the run.
//  -XX:-UsePerfData   no hsperfdata file in /tmp.
//  -XX:GCTimeLimit=50 -XX:GCHeapFreeLimit=10  a run whose heap stays
//                     nearly full after full collections, with half the
//                     time in them, fails with OutOfMemoryError ("GC
//                     overhead limit exceeded") instead of thrashing until
//                     the heap is exhausted: a runaway stylesheet fails
//                     sooner. Normal runs are far from either bound.
//  -Xmx (added from heap_size.h)  a bounded heap: the JVM's default, a
//                     quarter of the machine's memory, lets a runaway
//                     stylesheet run for many minutes with the collector
//                     and compiler chosen above, where the command line's
//                     defaults fail it sooner; the default is ample for
//                     invoices (doc/performance.md), and
//                     XSLVALIDATE_MAX_HEAP sets another.
//  -Xrs               signals stay the host's: Ctrl-C ends the tool as
//                     it would without a JVM, no Java shutdown handler.
//  -XX:+DisableAttachMechanism  no attach listener: with -Xrs the JVM
//                     would otherwise start one at once, a thread and a
//                     socket /tmp/.java_pid<pid> through which tools of the
//                     same user could load agents into the tool.
const char* const kJvmOptions[] = {
    "-Djava.class.path=" JVMENGINE_CLASS_PATH,
    "-Xshare:auto",
    "-Xlog:disable",
    "-Xlog:all=warning:stderr",
    "-Xlog:cds*=off:stderr",
    "-XX:+UseParallelGC",
    "-Xmn32m",
    "-XX:TieredStopAtLevel=1",
    "-XX:CICompilerCount=1",
    "-XX:-UsePerfData",
    "-XX:GCTimeLimit=50",
    "-XX:GCHeapFreeLimit=10",
    "-Xrs",
    "-XX:+DisableAttachMechanism",
};

constexpr jint kJniVersion = JNI_VERSION_10;

struct Engine {
  std::mutex mutex;
  bool attempted = false;
  JavaVM* vm = nullptr;  // set only when the run class is ready
  jclass stringClass = nullptr;  // global references
  jclass runClass = nullptr;
  jmethodID runMethod = nullptr;
};

Engine& engine() {
  static Engine* instance = new Engine;  // never destroyed: outlives exit handlers
  return *instance;
}

// Describes and clears a pending Java exception; true if there was one.
bool clearException(JNIEnv* env) {
  if (!env->ExceptionCheck()) return false;
  env->ExceptionDescribe();  // prints to standard error and clears
  env->ExceptionClear();
  return true;
}

// The directory of the shared object that holds this code, from the
// loader's record of it; nullopt when the loader cannot tell.
std::optional<std::string> ownLibraryDirectory() {
  Dl_info info;
  if (dladdr(reinterpret_cast<const void*>(&ownLibraryDirectory), &info) == 0 ||
      !info.dli_fname) {
    return std::nullopt;
  }
  const char* slash = std::strrchr(info.dli_fname, '/');
  if (!slash) return std::nullopt;
  return std::string(info.dli_fname, slash);
}

// Environment variables that libjvm itself reads while it is created and
// that would change how the tool behaves. The tool takes no configuration
// for the JVM from the environment, so they are hidden while the JVM is
// made:
//  JAVA_TOOL_OPTIONS, _JAVA_OPTIONS  options prepended to the library's own
//                     ("Picked up ..." on standard error): a heap too small
//                     to run, flags that print to standard output, agents.
//  _JAVA_SR_SIGNUM    the signal the JVM takes for suspending threads and
//                     handles itself even under -Xrs: set to 15, SIGTERM
//                     would no longer end the tool.
// Other variables libjvm 17 reads change nothing here: JAVA_HOME and
// _ALT_JAVA_HOME_DIR only locate an alternative JVM for the java launcher;
// JDK_JAVA_OPTIONS and CLASSPATH are read only by the java launcher; the
// locale variables are overridden while the JVM is made (createJvm); TZ
// sets the time zone of current-dateTime() as it does for the command line.
const char* const kHiddenVariables[] = {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "_JAVA_SR_SIGNUM"};

// A variable's value before it was hidden; nullopt when it was not set.
struct SavedVariable {
  const char* name;
  std::optional<std::string> value;
};

// Saves and unsets kHiddenVariables. Not safe against other threads
// touching the environment at the same moment, like every setenv.
std::vector<SavedVariable> hideVariables() {
  std::vector<SavedVariable> saved;
  for (const char* name : kHiddenVariables) {
    const char* value = std::getenv(name);
    saved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
    if (value) unsetenv(name);
  }
  return saved;
}

// Sets the hidden variables back to their saved values, so the rest of the
// process sees its environment as it was.
void restoreVariables(const std::vector<SavedVariable>& saved) {
  for (const SavedVariable& variable : saved) {
    if (variable.value) setenv(variable.name, variable.value->c_str(), 1);
  }
}

// Whether XSLVALIDATE_DEBUG=1 asks for the start-up and timing notes on
// standard error (doc/diagnostics.md).
bool debugging() {
  const char* value = std::getenv("XSLVALIDATE_DEBUG");
  return value && std::strcmp(value, "1") == 0;
}

// Whether the file `path` is mapped into this process.
bool isMapped(const std::string& path) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.size() >= path.size() && line.compare(line.size() - path.size(), path.size(), path) == 0)
      return true;
  }
  return false;
}

// Creates the JVM with the calling thread in a UTF-8 locale. The JVM reads
// the locale's code set (nl_langinfo, which follows the thread's locale) for
// sun.jnu.encoding and file.encoding; neither can be overridden by an
// option on this JDK. It also sets the process's global locale from the
// environment, which is undone here.
jint createJvm(const std::string& heapOption, JavaVM** vm, JNIEnv** env) {
  const bool debug = debugging();
  const auto started = std::chrono::steady_clock::now();
  std::string archive;
  std::vector<std::string> strings(std::begin(kJvmOptions), std::end(kJvmOptions));
  strings.push_back(heapOption);
  if (const auto directory = ownLibraryDirectory()) {
    // Saxon's and Xerces' classes, already parsed and verified, from the
    // archive made at build time (shared_archive.cmake), once its size and
    // checksums show it whole: the JVM would not survive a truncated one
    // and would run a damaged one.
    std::string whyNot;
    archive = usableArchiveIn(*directory, &whyNot);
    if (!archive.empty()) {
      strings.push_back("-XX:SharedArchiveFile=" + archive);
    } else if (debug) {
      std::fprintf(stderr, "xslvalidate debug: class-data archive %s/%s dropped: %s\n",
                   directory->c_str(), kSharedArchiveName, whyNot.c_str());
    }
  } else if (debug) {
    std::fputs("xslvalidate debug: class-data archive dropped: the library's directory is unknown\n",
               stderr);
  }
  if (debug) {
    for (const std::string& option : strings)
      std::fprintf(stderr, "xslvalidate debug: JVM option %s\n", option.c_str());
  }
  std::vector<JavaVMOption> options;
  for (std::string& option : strings) options.push_back({option.data(), nullptr});
  JavaVMInitArgs args{};
  args.version = kJniVersion;
  args.nOptions = static_cast<jint>(options.size());
  args.options = options.data();
  args.ignoreUnrecognized = JNI_FALSE;

  const char* global = setlocale(LC_ALL, nullptr);
  const std::string savedGlobal = global ? global : "C";
  locale_t utf8 = newlocale(LC_ALL_MASK, "C.UTF-8", static_cast<locale_t>(0));
  locale_t previous = utf8 ? uselocale(utf8) : static_cast<locale_t>(0);

  const std::vector<SavedVariable> hidden = hideVariables();
  const jint result = JNI_CreateJavaVM(vm, reinterpret_cast<void**>(env), &args);
  restoreVariables(hidden);

  if (utf8) {
    uselocale(previous);
    freelocale(utf8);
  }
  setlocale(LC_ALL, savedGlobal.c_str());
  if (debug && result == JNI_OK) {
    if (!archive.empty()) {
      std::fprintf(stderr, "xslvalidate debug: class-data archive %s %s\n", archive.c_str(),
                   isMapped(archive) ? "mapped"
                                     : "not mapped: the JVM found it does not fit this JDK or "
                                       "class path");
    }
    const auto took = std::chrono::steady_clock::now() - started;
    std::fprintf(stderr, "xslvalidate debug: JVM creation %lld ms\n",
                 static_cast<long long>(
                     std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
  }
  return result;
}

// The text of the pending Java exception (its toString()), which is
// cleared; a fixed text when there is none or it cannot be had.
std::string takeException(JNIEnv* env) {
  jthrowable thrown = env->ExceptionOccurred();
  if (!thrown) return "no Java exception";
  env->ExceptionClear();
  std::string text = "a Java exception that cannot be described";
  jclass throwable = env->FindClass("java/lang/Throwable");
  jmethodID toString =
      throwable ? env->GetMethodID(throwable, "toString", "()Ljava/lang/String;") : nullptr;
  jstring described =
      toString ? static_cast<jstring>(env->CallObjectMethod(thrown, toString)) : nullptr;
  if (described && !env->ExceptionCheck()) {
    if (const char* chars = env->GetStringUTFChars(described, nullptr)) {
      text = chars;
      env->ReleaseStringUTFChars(described, chars);
    }
  }
  env->ExceptionClear();
  if (described) env->DeleteLocalRef(described);
  if (throwable) env->DeleteLocalRef(throwable);
  env->DeleteLocalRef(thrown);
  return text;
}

// Sets `*why` to what `step` met (the pending exception's text) and reports
// failure.
bool failWith(JNIEnv* env, const char* step, std::string* why) {
  *why = std::string(step) + ": " + takeException(env);
  return false;
}

// Defines the run classes in the system class loader (which sees Saxon),
// initializes the run class and looks up what every run needs. False with
// the reason in `*why`.
bool defineRunClass(JNIEnv* env, Engine* e, std::string* why) {
  jclass loaderClass = env->FindClass("java/lang/ClassLoader");
  if (!loaderClass) return failWith(env, "finding java.lang.ClassLoader", why);
  jmethodID systemLoader = env->GetStaticMethodID(loaderClass, "getSystemClassLoader",
                                                  "()Ljava/lang/ClassLoader;");
  if (!systemLoader) return failWith(env, "finding the system class loader", why);
  jobject loader = env->CallStaticObjectMethod(loaderClass, systemLoader);
  if (env->ExceptionCheck() || !loader)
    return failWith(env, "getting the system class loader", why);

  // Every class first, then the run class looked up: one class refers to
  // another only when it runs, and the loader then finds the defined one.
  for (const EmbeddedClass& embedded : kRunClasses) {
    jclass defined = env->DefineClass(embedded.name, loader,
                                      reinterpret_cast<const jbyte*>(embedded.bytes),
                                      static_cast<jsize>(embedded.size));
    if (!defined) {
      return failWith(env, (std::string("defining class ") + embedded.name).c_str(), why);
    }
    env->DeleteLocalRef(defined);
  }
  // Binds ReportFile's natives and removes a run's temporary file when
  // SIGINT, SIGTERM or SIGHUP ends the process.
  if (!enableReportFileNatives(env)) {
    *why = "binding the native methods of ReportFile";
    return false;
  }
  jclass runClass = env->FindClass("XslvalidateRun");
  if (!runClass) return failWith(env, "finding class XslvalidateRun", why);
  // Looking the static method up initializes the class, here on the
  // creating thread's known stack.
  jmethodID run = env->GetStaticMethodID(runClass, "run", "([Ljava/lang/String;)I");
  if (!run) return failWith(env, "initializing class XslvalidateRun", why);
  jclass stringClass = env->FindClass("java/lang/String");
  if (!stringClass) return failWith(env, "finding java.lang.String", why);

  e->runClass = static_cast<jclass>(env->NewGlobalRef(runClass));
  e->stringClass = static_cast<jclass>(env->NewGlobalRef(stringClass));
  e->runMethod = run;
  env->DeleteLocalRef(loaderClass);
  env->DeleteLocalRef(loader);
  env->DeleteLocalRef(runClass);
  env->DeleteLocalRef(stringClass);
  if (!e->runClass || !e->stringClass) return failWith(env, "keeping the run class", why);
  return true;
}

// What a JNI status means, for messages.
const char* jniStatusText(jint status) {
  switch (status) {
    case JNI_ERR: return "unknown error";
    case JNI_EDETACHED: return "thread detached";
    case JNI_EVERSION: return "JNI version not supported";
    case JNI_ENOMEM: return "not enough memory";
    case JNI_EEXIST: return "a Java VM already exists in this process";
    case JNI_EINVAL: return "invalid arguments";
    default: return "unknown status";
  }
}

// Stack of the native threads that make the JVM and enter it for each run.
// Java code never runs on the caller's own thread, whose stack may be small
// (ulimit -s): the JVM needs room of its own below every Java call, as the
// java launcher knows, which also makes its JVM on a thread of its own.
constexpr size_t kNativeThreadStack = 8u << 20;

// Runs `body` on a new native thread with kNativeThreadStack of stack and
// waits for it. False, with the reason in `*why`, when the thread cannot be
// started.
bool runOnNativeThread(const std::function<void()>& body, std::string* why) {
  pthread_attr_t attributes;
  int error = pthread_attr_init(&attributes);
  if (error == 0) {
    error = pthread_attr_setstacksize(&attributes, kNativeThreadStack);
    pthread_t thread;
    if (error == 0) {
      error = pthread_create(
          &thread, &attributes,
          [](void* argument) -> void* {
            (*static_cast<const std::function<void()>*>(argument))();
            return nullptr;
          },
          const_cast<std::function<void()>*>(&body));
    }
    pthread_attr_destroy(&attributes);
    if (error == 0) error = pthread_join(thread, nullptr);
  }
  if (error != 0) *why = std::string("cannot start a thread: ") + std::strerror(error);
  return error == 0;
}

}  // namespace

JavaVM* startJavaVm() {
  Engine& e = engine();
  std::lock_guard lock(e.mutex);
  if (e.attempted) {
    if (!e.vm) std::fputs("jvmengine: the Java VM could not be started in this process\n", stderr);
    return e.vm;
  }
  e.attempted = true;

  std::string heapOption = kDefaultMaxHeap;
  const char* heap = std::getenv("XSLVALIDATE_MAX_HEAP");
  if (heap && *heap) {
    const auto chosen = maxHeapOption(heap);
    if (!chosen) {
      std::fprintf(stderr,
                   "xslvalidate: XSLVALIDATE_MAX_HEAP=%s is not a heap size: give a whole "
                   "number followed by m or g, such as 512m or 2g, from 64m to 1024g\n",
                   heap);
      return nullptr;
    }
    heapOption = *chosen;
  }

  // Made on a thread of its own, which leaves the JVM once the run class
  // is ready; every run enters it on a thread of its own as well.
  JavaVM* vm = nullptr;
  jint created = JNI_ERR;
  std::string why;
  const bool ran = runOnNativeThread(
      [&] {
        JNIEnv* env = nullptr;
        created = createJvm(heapOption, &vm, &env);
        if (created != JNI_OK) return;
        if (defineRunClass(env, &e, &why)) why.clear();
        else if (why.empty()) why = "unknown failure";
        vm->DetachCurrentThread();
      },
      &why);
  if (!ran) {
    std::fprintf(stderr, "jvmengine: cannot create the Java VM: %s\n", why.c_str());
  } else if (created != JNI_OK) {
    std::fprintf(stderr, "jvmengine: cannot create the Java VM (%s): JNI status %d, %s\n",
                 JVMENGINE_JVM_LIBRARY, static_cast<int>(created), jniStatusText(created));
  } else if (!why.empty()) {
    std::fprintf(stderr, "jvmengine: the Java VM started, but setting up the run classes failed: "
                 "%s\n", why.c_str());
  } else {
    e.vm = vm;
  }
  return e.vm;
}

JavaVM* existingJavaVm() {
  Engine& e = engine();
  std::lock_guard lock(e.mutex);
  return e.vm;
}

namespace {

// The body of runSaxonTransform, on a thread attached to the JVM.
int runAttached(JNIEnv* env, const std::vector<std::u16string>& args) {
  Engine& e = engine();
  if (env->PushLocalFrame(static_cast<jint>(args.size()) + 4) != 0) {
    clearException(env);
    return 1;
  }
  int status = 1;
  jobjectArray array = env->NewObjectArray(static_cast<jsize>(args.size()), e.stringClass, nullptr);
  bool built = array != nullptr;
  for (size_t i = 0; built && i < args.size(); ++i) {
    jstring arg = env->NewString(reinterpret_cast<const jchar*>(args[i].data()),
                                 static_cast<jsize>(args[i].size()));
    built = arg != nullptr;
    if (built) {
      env->SetObjectArrayElement(array, static_cast<jsize>(i), arg);
      built = !env->ExceptionCheck();
      env->DeleteLocalRef(arg);
    }
  }
  if (built) {
    status = env->CallStaticIntMethod(e.runClass, e.runMethod, array);
  }
  if (clearException(env)) status = 1;
  env->PopLocalFrame(nullptr);
  return status;
}

}  // namespace

int runSaxonTransform(const std::vector<std::u16string>& args) {
  JavaVM* vm = existingJavaVm();
  if (!vm || !engine().runMethod) return 1;
  int status = 1;
  std::string why;
  const bool ran = runOnNativeThread(
      [&] {
        JNIEnv* env = nullptr;
        JavaVMAttachArgs attach{kJniVersion, const_cast<char*>("xslvalidate-run"), nullptr};
        const jint attached = vm->AttachCurrentThread(reinterpret_cast<void**>(&env), &attach);
        if (attached != JNI_OK) {
          why = std::string("cannot attach a thread to the Java VM: JNI status ") +
                std::to_string(attached) + ", " + jniStatusText(attached);
          return;
        }
        status = runAttached(env, args);
        vm->DetachCurrentThread();
      },
      &why);
  if (!why.empty()) std::fprintf(stderr, "jvmengine: %s\n", why.c_str());
  return ran ? status : 1;
}
