#include "report_file_natives.h"

#include <limits.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "interrupt_cleanup.h"

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
  if (env->ExceptionCheck()) return -1;
  name[length] = '\0';
  if (std::strlen(name) != static_cast<size_t>(length)) return -1;
  return holdForInterrupt(name);
}

// static native void releaseFromInterrupt(int slot)
void JNICALL releaseFromInterruptNative(JNIEnv*, jclass, jint slot) {
  releaseFromInterrupt(slot);
}

}  // namespace

bool enableReportFileNatives(JNIEnv* env) {
  static std::mutex mutex;
  static bool enabled = false;
  std::lock_guard lock(mutex);
  if (enabled) return true;
  jclass reportFile = env->FindClass("ReportFile");
  if (!reportFile) {
    env->ExceptionDescribe();
    env->ExceptionClear();
    std::fputs("jvmengine: the run class ReportFile is not defined\n", stderr);
    return false;
  }
  JNINativeMethod methods[] = {
      {const_cast<char*>("holdForInterrupt"), const_cast<char*>("([B)I"),
       reinterpret_cast<void*>(&holdForInterruptNative)},
      {const_cast<char*>("releaseFromInterrupt"), const_cast<char*>("(I)V"),
       reinterpret_cast<void*>(&releaseFromInterruptNative)},
  };
  const bool bound = env->RegisterNatives(reportFile, methods, 2) == JNI_OK;
  env->DeleteLocalRef(reportFile);
  if (!bound) {
    env->ExceptionDescribe();
    env->ExceptionClear();
    std::fputs("jvmengine: cannot bind the native methods of ReportFile\n", stderr);
    return false;
  }
  if (!installInterruptCleanup()) {
    std::perror("jvmengine: cannot install the handler that removes temporary files on a signal");
  }
  enabled = true;
  return true;
}
