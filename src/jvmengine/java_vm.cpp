#include "java_vm.h"

#include <dlfcn.h>
#include <locale.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "shared_archive.h"
#include "xslvalidate_run_class.h"  // generated: kXslvalidateRunClass

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
//                     rule set keeps some 20 MB alive through a dozen young
//                     collections, which take a tenth of a large run with
//                     one thread and some 40 % less with two.
//  -Xmn32m            a young generation of 32 MB instead of a third of the
//                     initial heap: the heap the runs touch, and so the
//                     resident memory, shrinks by some 60 MB, at no cost in
//                     time for invoices of usual size (more collections
//                     cost some 10 % on one of 10,000 lines); the old
//                     generation still grows to the JVM's default maximum,
//                     as for the command line.
//  -XX:TieredStopAtLevel=1  C1 only: the validation stylesheets are huge
//                     generated XSLT run once per process; C2 compiles
//                     would finish after the run.
//  -XX:CICompilerCount=1  one compiler thread, which leaves the second of
//                     two cores to the run.
//  -XX:-UsePerfData   no hsperfdata file in /tmp.
//  -Xss64m            stack of the transform thread; deeply nested
//                     stylesheets and documents recurse in Saxon.
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
    "-Xss64m",
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

// Environment variables that JNI_CreateJavaVM itself reads and prepends to
// the options given to it ("Picked up ..." on standard error). The tool
// takes no configuration from the environment, so they are hidden while the
// JVM is made. JDK_JAVA_OPTIONS is read only by the java launcher, never by
// JNI_CreateJavaVM, and needs no hiding.
const char* const kJvmOptionVariables[] = {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS"};

// A variable's value before it was hidden; nullopt when it was not set.
struct SavedVariable {
  const char* name;
  std::optional<std::string> value;
};

// Saves and unsets kJvmOptionVariables. Not safe against other threads
// touching the environment at the same moment, like every setenv.
std::vector<SavedVariable> hideJvmOptionVariables() {
  std::vector<SavedVariable> saved;
  for (const char* name : kJvmOptionVariables) {
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

// Creates the JVM with the calling thread in a UTF-8 locale. The JVM reads
// the locale's code set (nl_langinfo, which follows the thread's locale) for
// sun.jnu.encoding and file.encoding; neither can be overridden by an
// option on this JDK. It also sets the process's global locale from the
// environment, which is undone here.
jint createJvm(JavaVM** vm, JNIEnv** env) {
  std::vector<std::string> strings(std::begin(kJvmOptions), std::end(kJvmOptions));
  if (const auto directory = ownLibraryDirectory()) {
    // Saxon's and Xerces' classes, already parsed and verified, from the
    // archive made at build time (shared_archive.cmake), once its size and
    // checksums show it whole: the JVM would not survive a truncated one
    // and would run a damaged one.
    const std::string archive = usableArchiveIn(*directory);
    if (!archive.empty()) strings.push_back("-XX:SharedArchiveFile=" + archive);
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

  const std::vector<SavedVariable> hidden = hideJvmOptionVariables();
  const jint result = JNI_CreateJavaVM(vm, reinterpret_cast<void**>(env), &args);
  restoreVariables(hidden);

  if (utf8) {
    uselocale(previous);
    freelocale(utf8);
  }
  setlocale(LC_ALL, savedGlobal.c_str());
  return result;
}

// Clears a pending exception (describing it) and reports failure.
bool failWith(JNIEnv* env) {
  clearException(env);
  return false;
}

// Defines the run class in the system class loader (which sees Saxon) and
// looks up what every run needs. False after writing why.
bool defineRunClass(JNIEnv* env, Engine* e) {
  jclass loaderClass = env->FindClass("java/lang/ClassLoader");
  if (!loaderClass) return failWith(env);
  jmethodID systemLoader = env->GetStaticMethodID(loaderClass, "getSystemClassLoader",
                                                  "()Ljava/lang/ClassLoader;");
  if (!systemLoader) return failWith(env);
  jobject loader = env->CallStaticObjectMethod(loaderClass, systemLoader);
  if (clearException(env) || !loader) return false;

  jclass runClass = env->DefineClass("XslvalidateRun", loader,
                                     reinterpret_cast<const jbyte*>(kXslvalidateRunClass),
                                     sizeof kXslvalidateRunClass);
  if (!runClass) return failWith(env);
  jmethodID run = env->GetStaticMethodID(runClass, "run", "([Ljava/lang/String;)I");
  if (!run) return failWith(env);
  jclass stringClass = env->FindClass("java/lang/String");
  if (!stringClass) return failWith(env);

  e->runClass = static_cast<jclass>(env->NewGlobalRef(runClass));
  e->stringClass = static_cast<jclass>(env->NewGlobalRef(stringClass));
  e->runMethod = run;
  env->DeleteLocalRef(loaderClass);
  env->DeleteLocalRef(loader);
  env->DeleteLocalRef(runClass);
  env->DeleteLocalRef(stringClass);
  return e->runClass && e->stringClass;
}

}  // namespace

JavaVM* startJavaVm(JNIEnv** env) {
  Engine& e = engine();
  std::lock_guard lock(e.mutex);
  if (e.attempted) {
    if (!e.vm) {
      std::fputs("jvmengine: the Java VM could not be started in this process\n", stderr);
      return nullptr;
    }
    if (e.vm->AttachCurrentThread(reinterpret_cast<void**>(env), nullptr) != JNI_OK) {
      std::fputs("jvmengine: cannot attach this thread to the Java VM\n", stderr);
      return nullptr;
    }
    return e.vm;
  }
  e.attempted = true;

  JavaVM* vm = nullptr;
  const jint created = createJvm(&vm, env);
  if (created != JNI_OK) {
    std::fprintf(stderr, "jvmengine: cannot create the Java VM (%s, JNI status %d)\n",
                 JVMENGINE_JVM_LIBRARY, static_cast<int>(created));
    return nullptr;
  }
  if (!defineRunClass(*env, &e)) {
    std::fprintf(stderr, "jvmengine: cannot load the transform class on %s\n",
                 JVMENGINE_SAXON_JAR);
    return nullptr;
  }
  e.vm = vm;
  return vm;
}

JavaVM* existingJavaVm() {
  Engine& e = engine();
  std::lock_guard lock(e.mutex);
  return e.vm;
}

int runSaxonTransform(JNIEnv* env, const std::vector<std::u16string>& args) {
  Engine& e = engine();
  if (!e.runMethod) return 1;
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
