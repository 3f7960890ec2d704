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
// the class path (Saxon) and the classes defined there before, in any
// order of the table: a class that extends or implements one not yet
// defined is defined after it. True when all are defined; false with the
// reason (the step and the Java exception's text, for the first class that
// cannot be defined once nothing more can) in `*why`, no exception left
// pending.
bool defineEmbeddedClasses(JNIEnv* env, std::span<const EmbeddedClass> classes,
                           std::string* why);

#endif  // XSLVALIDATE_JVMCORE_EMBEDDED_CLASSES_H_
