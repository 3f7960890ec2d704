#include "embedded_classes.h"

#include <utility>
#include <vector>

#include "jni_check.h"

bool defineEmbeddedClasses(JNIEnv* env, std::span<const EmbeddedClass> classes,
                           std::string* why) {
  LocalFrame frame(env, 4);
  if (!frame.made("making room for the class loader", why)) return false;
  jclass loaderClass = env->FindClass("java/lang/ClassLoader");
  if (!checked(env, loaderClass, "finding java.lang.ClassLoader", why)) return false;
  jmethodID systemLoader = env->GetStaticMethodID(loaderClass, "getSystemClassLoader",
                                                  "()Ljava/lang/ClassLoader;");
  if (!checked(env, systemLoader, "finding ClassLoader.getSystemClassLoader", why)) return false;
  jobject loader = env->CallStaticObjectMethod(loaderClass, systemLoader);
  if (!checked(env, loader, "getting the system class loader", why)) return false;
  // A class whose superclass or interface is a later one of the table
  // cannot be defined yet: it waits for the next round. A round that
  // defines nothing ends it, with the first failure of that round.
  std::vector<const EmbeddedClass*> pending;
  for (const EmbeddedClass& embedded : classes) pending.push_back(&embedded);
  while (!pending.empty()) {
    std::vector<const EmbeddedClass*> later;
    std::string firstFailure;
    for (const EmbeddedClass* embedded : pending) {
      LocalFrame pass(env, 1);
      if (!pass.made("making room for a class", why)) return false;
      jclass defined = env->DefineClass(embedded->name, loader,
                                        reinterpret_cast<const jbyte*>(embedded->bytes),
                                        static_cast<jsize>(embedded->size));
      std::string failure;
      if (!checked(env, defined, (std::string("defining class ") + embedded->name).c_str(),
                   &failure)) {
        if (firstFailure.empty()) firstFailure = failure;
        later.push_back(embedded);
      }
    }
    if (later.size() == pending.size()) {
      *why = firstFailure;
      return false;
    }
    pending = std::move(later);
  }
  return true;
}
