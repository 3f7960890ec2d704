// The process's one Java VM: Saxon-HE on its class path and our run classes
// (java/*.java, embedded at build time) defined in it.
#ifndef XSLVALIDATE_JVMCORE_JAVA_VM_H_
#define XSLVALIDATE_JVMCORE_JAVA_VM_H_

#include <jni.h>

#include <string>
#include <vector>

// The JNI version the JVM is made with and every thread attaches with.
inline constexpr jint kJniVersion = JNI_VERSION_10;

// Creates the JVM on the first call, from the JDK and Saxon jar found at
// build time and, when a whole one lies beside this library, the class-data
// archive made at build time (without it, or with one that no longer fits,
// the JVM starts slower and silently); defines and initializes the run
// class and looks up its method once. Java code runs only on native threads
// this library starts with a stack of their own (the JVM is made on one,
// which leaves it when done), never on the caller's, so the caller's stack
// limit does not matter; the caller's thread is never attached. Returns
// the JVM; returns nullptr after writing what failed to standard error (the
// JNI status of the creation, or the Java exception that setting up the
// run class met) when the JVM or the run class cannot be had; a JVM cannot
// be created twice in a process, so that failure is final.
//
// The maximum heap is kDefaultMaxHeap (heap_size.h) or what
// XSLVALIDATE_MAX_HEAP says; a value that maxHeapOption refuses fails the
// creation with a message naming the variable.
//
// File names reach the JVM as UTF-8 whatever the caller's locale: the JVM
// takes its file name encoding from the locale when it is created, so the
// creating thread runs under a UTF-8 locale for that moment. The process's
// global locale is left as the caller had it.
//
// Variables the JVM itself would read (kHiddenVariables in java_vm.cpp:
// JAVA_TOOL_OPTIONS, _JAVA_OPTIONS, _JAVA_SR_SIGNUM) are not read: while
// the JVM is created the process's environment is a copy without them, and
// then the caller's own again, never changed in place, so other threads
// reading the environment meanwhile see every other variable.
//
// With the debug switch on (debug.h), writes the JVM options, what became
// of the class-data archive and the creation time to standard error, and
// tells the run classes so through the system property xslvalidate.debug
// (doc/diagnostics.md).
//
// `extraOptions` go to the JVM after the library's own (the engine server
// adds its own collector settings); they count only on the call that
// creates the JVM.
JavaVM* startJavaVm(const std::vector<std::string>& extraOptions = {});

// The JVM made by startJavaVm, or nullptr if there is none (yet).
JavaVM* existingJavaVm();

// Runs the transform command with `args` on a new native thread attached
// to the JVM for the run, and waits for it. Returns 0 when the run
// completed and the report exists; the run's nonzero status otherwise (the
// reason is on standard error); 1 when there is no JVM or the thread cannot
// be started or attached. Leaves no Java exception pending and no local
// reference behind.
int runSaxonTransform(const std::vector<std::u16string>& args);

#endif  // XSLVALIDATE_JVMCORE_JAVA_VM_H_
