#include "java_vm.h"

#include <locale.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
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

#include "debug.h"
#include "embedded_classes.h"
#include "heap_size.h"
#include "jni_check.h"
#include "own_file.h"
#include "report_file_natives.h"
#include "private_folder.h"
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
//  -XX:-CreateCoredumpOnCrash  no core file of the JVM where the caller
//                     stands; the crash report says what failed.
//  -XX:ErrorFile, -XX:ReplayDataFile (added by crashFileOptions)  the
//                     JVM's crash report and compiler replay file go to
//                     the user's private folder, never to the caller's
//                     current directory, the JVM's default.
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
    "-XX:-CreateCoredumpOnCrash",
};

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

// The process's environment, as the C library keeps it.
extern "C" char** environ;

// Replaces the process's environment, for the moment of the JVM's
// creation, by a copy without kHiddenVariables, and puts the caller's own
// back when it ends. The caller's environment is never changed in place
// (as unsetenv and setenv would change it, shifting its entries under
// other threads that read it: batch workers of the caller's, its time
// functions): other threads see either the whole environment or, while
// the JVM is made, the same one without the hidden variables. Swapping
// the one pointer is a single store. The copy's array is never freed: a
// thread that took it before the swap back may still be reading it (the
// JVM is made once per process, so there is one such array).
class EnvironmentWithoutHiddenVariables {
 public:
  EnvironmentWithoutHiddenVariables() : own_(environ) {
    auto* copy = new std::vector<char*>;  // never freed, see above
    for (char** entry = own_; entry && *entry; ++entry) {
      if (!isHidden(*entry)) copy->push_back(*entry);
    }
    copy->push_back(nullptr);
    std::atomic_ref<char**>(environ).store(copy->data());
  }
  ~EnvironmentWithoutHiddenVariables() { std::atomic_ref<char**>(environ).store(own_); }
  EnvironmentWithoutHiddenVariables(const EnvironmentWithoutHiddenVariables&) = delete;
  EnvironmentWithoutHiddenVariables& operator=(const EnvironmentWithoutHiddenVariables&) = delete;

 private:
  static bool isHidden(const char* entry) {
    for (const char* name : kHiddenVariables) {
      const size_t length = std::strlen(name);
      if (std::strncmp(entry, name, length) == 0 && entry[length] == '=') return true;
    }
    return false;
  }

  char** own_;
};

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

// Whole milliseconds from `start` to now, for the debug lines.
long long millisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

// Where the JVM puts its crash report and compiler replay file: the user's
// private folder when it is there (private_folder.h), else
// the temporary directory under names of the user's own. The JVM creates
// them anew (never through an existing name) and falls back to the current
// directory only when it cannot, which these folders make unlikely.
std::vector<std::string> crashFileOptions() {
  const auto folder = existingPrivateFolder(std::getenv("XDG_RUNTIME_DIR"), getuid());
  const std::string prefix =
      folder ? *folder + "/" : "/tmp/xslvalidate-" + std::to_string(getuid()) + "-";
  return {"-XX:ErrorFile=" + prefix + "hs_err_pid%p.log",
          "-XX:ReplayDataFile=" + prefix + "replay_pid%p.log"};
}

// Creates the JVM with the calling thread in a UTF-8 locale. The JVM reads
// the locale's code set (nl_langinfo, which follows the thread's locale) for
// sun.jnu.encoding and file.encoding; neither can be overridden by an
// option on this JDK. It also sets the process's global locale from the
// environment, which is undone here.
jint createJvm(const std::string& heapOption, const std::vector<std::string>& extraOptions,
               JavaVM** vm, JNIEnv** env) {
  const auto started = std::chrono::steady_clock::now();
  std::string archive;
  std::vector<std::string> strings(std::begin(kJvmOptions), std::end(kJvmOptions));
  strings.push_back(heapOption);
  for (std::string& option : crashFileOptions()) strings.push_back(std::move(option));
  strings.insert(strings.end(), extraOptions.begin(), extraOptions.end());
  if (const auto directory = ownDirectory()) {
    // Saxon's and Xerces' classes, already parsed and verified, from the
    // archive made at build time (shared_archive.cmake), once its size and
    // checksums show it whole: the JVM would not survive a truncated one
    // and would run a damaged one.
    std::string whyNot;
    const auto checking = std::chrono::steady_clock::now();
    archive = usableArchiveIn(*directory, &whyNot);
    debugLine("class-data archive checked in %lld ms", millisecondsSince(checking));
    if (!archive.empty()) {
      strings.push_back("-XX:SharedArchiveFile=" + archive);
    } else {
      debugLine("class-data archive %s/%s dropped: %s", directory->c_str(), kSharedArchiveName,
                whyNot.c_str());
    }
  } else {
    debugLine("class-data archive dropped: the library's directory is unknown");
  }
  // The run classes learn of the switch from the JVM, not the environment.
  if (debugging()) strings.push_back("-Dxslvalidate.debug=true");
  for (const std::string& option : strings) debugLine("JVM option %s", option.c_str());
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

  jint result;
  {
    const EnvironmentWithoutHiddenVariables hidden;
    result = JNI_CreateJavaVM(vm, reinterpret_cast<void**>(env), &args);
  }

  if (utf8) {
    uselocale(previous);
    freelocale(utf8);
  }
  setlocale(LC_ALL, savedGlobal.c_str());
  if (debugging() && result == JNI_OK) {
    if (!archive.empty()) {
      debugLine("class-data archive %s %s", archive.c_str(),
                isMapped(archive) ? "mapped"
                                  : "not mapped: the JVM found it does not fit this JDK or "
                                    "class path");
    }
    debugLine("JVM creation %lld ms", millisecondsSince(started));
  }
  return result;
}

// Defines the run classes in the system class loader (which sees Saxon),
// binds their natives, initializes the run class and looks up what every
// run needs. False with the reason in `*why`.
bool defineRunClass(JNIEnv* env, Engine* e, std::string* why) {
  if (!defineEmbeddedClasses(env, kRunClasses, why)) return false;
  // Binds ReportFile's natives and removes a run's temporary file when
  // SIGINT, SIGTERM or SIGHUP ends the process.
  if (!enableReportFileNatives(env, why)) return false;
  LocalFrame frame(env, 2);
  if (!frame.made("making room for the run class", why)) return false;
  jclass runClass = env->FindClass("XslvalidateRun");
  if (!checked(env, runClass, "finding class XslvalidateRun", why)) return false;
  // Looking the static method up initializes the class, here on the
  // creating thread's known stack.
  jmethodID run = env->GetStaticMethodID(runClass, "run", "([Ljava/lang/String;)I");
  if (!checked(env, run, "initializing class XslvalidateRun", why)) return false;
  jclass stringClass = env->FindClass("java/lang/String");
  if (!checked(env, stringClass, "finding java.lang.String", why)) return false;
  e->runClass = static_cast<jclass>(env->NewGlobalRef(runClass));
  if (!checked(env, e->runClass, "keeping the run class", why)) return false;
  e->stringClass = static_cast<jclass>(env->NewGlobalRef(stringClass));
  if (!checked(env, e->stringClass, "keeping java.lang.String", why)) return false;
  e->runMethod = run;
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

// The machine's physical memory in bytes; 0 when it cannot be told.
unsigned long long machineMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(pageSize);
}

}  // namespace

JavaVM* startJavaVm(const std::vector<std::string>& extraOptions) {
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
    // A heap beyond the machine's memory could never be used, and the JVM
    // may not even start with one (it commits tables in proportion).
    const unsigned long long machine = machineMemoryBytes();
    if (machine != 0 && *maxHeapBytes(heap) > machine) {
      std::fprintf(stderr,
                   "xslvalidate: XSLVALIDATE_MAX_HEAP=%s is more than this machine's memory "
                   "(%llum): give at most %llum\n",
                   heap, machine >> 20, machine >> 20);
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
        created = createJvm(heapOption, extraOptions, &vm, &env);
        if (created != JNI_OK) return;
        const auto defining = std::chrono::steady_clock::now();
        if (defineRunClass(env, &e, &why)) why.clear();
        else if (why.empty()) why = "unknown failure";
        debugLine("run classes ready in %lld ms", millisecondsSince(defining));
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

// The body of runSaxonTransform, on a thread attached to the JVM. Returns
// the run's status, or 1 with the reason in `*why` when the run could not
// be made.
int runAttached(JNIEnv* env, const std::vector<std::u16string>& args, std::string* why) {
  Engine& e = engine();
  LocalFrame frame(env, 2);
  if (!frame.made("making room for the run's arguments", why)) return 1;
  jobjectArray array = env->NewObjectArray(static_cast<jsize>(args.size()), e.stringClass, nullptr);
  if (!checked(env, array, "making the run's arguments", why)) return 1;
  for (size_t i = 0; i < args.size(); ++i) {
    LocalFrame pass(env, 1);
    if (!pass.made("making room for an argument", why)) return 1;
    jstring arg = env->NewString(reinterpret_cast<const jchar*>(args[i].data()),
                                 static_cast<jsize>(args[i].size()));
    if (!checked(env, arg, "making an argument", why)) return 1;
    env->SetObjectArrayElement(array, static_cast<jsize>(i), arg);
    if (!checked(env, "storing an argument", why)) return 1;
  }
  const int status = env->CallStaticIntMethod(e.runClass, e.runMethod, array);
  if (!checked(env, "running XslvalidateRun.run", why)) return 1;
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
        status = runAttached(env, args, &why);
        vm->DetachCurrentThread();
      },
      &why);
  if (!why.empty()) std::fprintf(stderr, "jvmengine: %s\n", why.c_str());
  return ran ? status : 1;
}
