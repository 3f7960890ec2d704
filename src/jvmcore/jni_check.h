// Checked JNI calls. Every JNI call is followed by a check, as the java
// launcher does: a call that left a Java exception pending, or gave no
// result where one was due, ends the step with its reason, and no further
// JNI call is made while an exception is pending.
#ifndef XSLVALIDATE_JVMCORE_JNI_CHECK_H_
#define XSLVALIDATE_JVMCORE_JNI_CHECK_H_

#include <jni.h>

#include <string>

// The text of the pending Java exception (its toString()), which is
// cleared; "no Java exception" when none is pending, and a fixed text when
// the exception cannot be described. Leaves no exception pending and no
// local reference behind.
std::string takeJavaException(JNIEnv* env);

// Checks the JNI call just made on `env`, which gave `result` (a reference
// or an ID that must not be null). True when no exception is pending and
// `result` is not null; otherwise sets `*why` to "<step>: <reason>" (the
// exception's text, cleared, or "no result"), and returns false.
bool checked(JNIEnv* env, const void* result, const char* step, std::string* why);

// Checks a JNI call that gives nothing to test (a void or int method, a
// Set...Region, SetObjectArrayElement): true when no exception is pending;
// otherwise sets `*why` as above, clears the exception and returns false.
bool checked(JNIEnv* env, const char* step, std::string* why);

// A frame of local references, such as for one pass of a loop: made with
// room for `capacity` references, popped (freeing every reference made in
// it) when the record goes. made() is true when the frame was made;
// otherwise it sets `*why` to "<step>: <reason>" and clears the pending
// OutOfMemoryError.
class LocalFrame {
 public:
  LocalFrame(JNIEnv* env, jint capacity) : env_(env), ok_(env->PushLocalFrame(capacity) == 0) {}
  ~LocalFrame() {
    if (ok_) env_->PopLocalFrame(nullptr);
  }
  LocalFrame(const LocalFrame&) = delete;
  LocalFrame& operator=(const LocalFrame&) = delete;
  bool made(const char* step, std::string* why) {
    if (ok_) return true;
    if (checked(env_, step, why)) *why = std::string(step) + ": no room for local references";
    return false;
  }

 private:
  JNIEnv* env_;
  bool ok_;
};

#endif  // XSLVALIDATE_JVMCORE_JNI_CHECK_H_
