// The process's one Java VM: Saxon-HE on its class path and our run class
// (java/XslvalidateRun.java, embedded at build time) defined in it.
#ifndef XSLVALIDATE_JVMENGINE_JAVA_VM_H_
#define XSLVALIDATE_JVMENGINE_JAVA_VM_H_

#include <jni.h>

#include <string>
#include <vector>

// Creates the JVM on the first call, from the JDK and Saxon jar found at
// build time and, when a whole one lies beside this library, the class-data
// archive made at build time (without it, or with one that no longer fits,
// the JVM starts slower and silently); looks up the run class and method
// once. The creating
// thread is attached by creation; a later call attaches the calling thread
// (if it is not yet) to the same JVM. Stores the calling thread's JNIEnv in
// `*env` and returns the JVM; returns nullptr after writing the reason to
// standard error when the JVM or the run class cannot be had (a JVM cannot
// be created twice in a process, so that failure is final).
//
// File names reach the JVM as UTF-8 whatever the caller's locale: the JVM
// takes its file name encoding from the locale when it is created, so the
// calling thread runs under a UTF-8 locale for that moment. The process's
// global locale is left as the caller had it.
//
// The JVM's option variables JAVA_TOOL_OPTIONS and _JAVA_OPTIONS are not
// read: they are unset while the JVM is created and set back to their
// values afterwards.
JavaVM* startJavaVm(JNIEnv** env);

// The JVM made by startJavaVm, or nullptr if there is none (yet).
JavaVM* existingJavaVm();

// Runs the transform command with `args` on the calling thread's `env`.
// Returns 0 when the run completed and the report exists; the run's nonzero
// status otherwise (the reason is on standard error). Never leaves a Java
// exception pending and releases every local reference it made.
int runSaxonTransform(JNIEnv* env, const std::vector<std::u16string>& args);

#endif  // XSLVALIDATE_JVMENGINE_JAVA_VM_H_
