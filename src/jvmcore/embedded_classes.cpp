#include "embedded_classes.h"

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
  for (const EmbeddedClass& embedded : classes) {
    LocalFrame pass(env, 1);
    if (!pass.made("making room for a class", why)) return false;
    jclass defined = env->DefineClass(embedded.name, loader,
                                      reinterpret_cast<const jbyte*>(embedded.bytes),
                                      static_cast<jsize>(embedded.size));
    if (!checked(env, defined, (std::string("defining class ") + embedded.name).c_str(), why))
      return false;
  }
  return true;
}
