#include "jni_check.h"

#include <string_view>

#include "utf16.h"

std::string takeJavaException(JNIEnv* env) {
  jthrowable thrown = env->ExceptionOccurred();
  if (!thrown) return "no Java exception";
  env->ExceptionClear();
  // Describing it calls Java, which must not meet the exception pending;
  // every step below is checked the same way, and a failure falls back to
  // the fixed text.
  std::string text = "a Java exception that cannot be described";
  jclass throwable = env->GetObjectClass(thrown);
  jmethodID toString =
      throwable ? env->GetMethodID(throwable, "toString", "()Ljava/lang/String;") : nullptr;
  if (env->ExceptionCheck()) {
    env->ExceptionClear();
    toString = nullptr;
  }
  jstring described =
      toString ? static_cast<jstring>(env->CallObjectMethod(thrown, toString)) : nullptr;
  if (env->ExceptionCheck()) {
    env->ExceptionClear();
  } else if (described) {
    // As UTF-16, then UTF-8: modified UTF-8 (GetStringUTFChars) is not
    // what standard error carries.
    const jsize length = env->GetStringLength(described);
    if (const jchar* chars = env->GetStringChars(described, nullptr)) {
      text = utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(chars),
                                             static_cast<std::size_t>(length)));
      env->ReleaseStringChars(described, chars);
    }
    env->ExceptionClear();  // GetStringChars may throw OutOfMemoryError
  }
  if (described) env->DeleteLocalRef(described);
  if (throwable) env->DeleteLocalRef(throwable);
  env->DeleteLocalRef(thrown);
  return text;
}

bool checked(JNIEnv* env, const void* result, const char* step, std::string* why) {
  if (env->ExceptionCheck()) {
    *why = std::string(step) + ": " + takeJavaException(env);
    return false;
  }
  if (!result) {
    *why = std::string(step) + ": no result";
    return false;
  }
  return true;
}

bool checked(JNIEnv* env, const char* step, std::string* why) {
  static const int kSomething = 0;
  return checked(env, &kSomething, step, why);
}
