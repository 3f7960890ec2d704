#include "report_file_natives.h"

#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "interrupt_cleanup.h"
#include "jni_check.h"

namespace {

// static native int holdForInterrupt(byte[] path): the file name's bytes,
// without a terminating NUL. Returns a slot, or -1 (name too long, holds a
// NUL, or no free slot).
jint JNICALL holdForInterruptNative(JNIEnv* env, jclass, jbyteArray path) {
  if (!path) return -1;
  const jsize length = env->GetArrayLength(path);
  if (length <= 0 || length >= PATH_MAX) return -1;
  char name[PATH_MAX];
  env->GetByteArrayRegion(path, 0, length, reinterpret_cast<jbyte*>(name));
  // The exception, if any, goes back to the Java caller.
  if (env->ExceptionCheck()) return -1;
  name[length] = '\0';
  if (std::strlen(name) != static_cast<size_t>(length)) return -1;
  return holdForInterrupt(name);
}

// static native void releaseFromInterrupt(int slot)
void JNICALL releaseFromInterruptNative(JNIEnv*, jclass, jint slot) {
  releaseFromInterrupt(slot);
}

// static native int processUserId(): this process's effective user id.
jint JNICALL processUserIdNative(JNIEnv*, jclass) {
  return static_cast<jint>(geteuid());
}

}  // namespace

bool enableReportFileNatives(JNIEnv* env, std::string* why) {
  static std::mutex mutex;
  static bool enabled = false;
  std::lock_guard lock(mutex);
  if (enabled) return true;
  LocalFrame frame(env, 1);
  if (!frame.made("making room for ReportFile", why)) return false;
  jclass reportFile = env->FindClass("ReportFile");
  if (!checked(env, reportFile, "finding the run class ReportFile", why)) return false;
  JNINativeMethod methods[] = {
      {const_cast<char*>("holdForInterrupt"), const_cast<char*>("([B)I"),
       reinterpret_cast<void*>(&holdForInterruptNative)},
      {const_cast<char*>("releaseFromInterrupt"), const_cast<char*>("(I)V"),
       reinterpret_cast<void*>(&releaseFromInterruptNative)},
      {const_cast<char*>("processUserId"), const_cast<char*>("()I"),
       reinterpret_cast<void*>(&processUserIdNative)},
  };
  const jint bound =
      env->RegisterNatives(reportFile, methods, sizeof methods / sizeof methods[0]);
  if (!checked(env, "binding the native methods of ReportFile", why)) return false;
  if (bound != JNI_OK) {
    *why = "binding the native methods of ReportFile: JNI status " + std::to_string(bound);
    return false;
  }
  if (!installInterruptCleanup()) {
    std::perror("jvmengine: cannot install the handler that removes temporary files on a signal");
  }
  enabled = true;
  return true;
}
