// Java classes compiled at build time and carried in the program as bytes
// (embed_class.cmake writes their tables), and defining them in the JVM.
#ifndef XSLVALIDATE_JVMCORE_EMBEDDED_CLASSES_H_
#define XSLVALIDATE_JVMCORE_EMBEDDED_CLASSES_H_

#include <jni.h>

#include <cstddef>
#include <span>
#include <string>

// One class file: the class's name (no package) and its bytes.
struct EmbeddedClass {
  const char* name;
  const unsigned char* bytes;
  std::size_t size;
};

// Defines every class of `classes` in the system class loader, which sees
// the class path (Saxon) and the classes defined there before. They may
// use one another in any order, as a use is resolved only when it runs, but
// none may extend another of the table: a superclass must be found when its
// subclass is defined. True when all are defined; false with the reason (the step and
// the Java exception's text) in `*why`, no exception left pending.
bool defineEmbeddedClasses(JNIEnv* env, std::span<const EmbeddedClass> classes,
                           std::string* why);

#endif  // XSLVALIDATE_JVMCORE_EMBEDDED_CLASSES_H_
