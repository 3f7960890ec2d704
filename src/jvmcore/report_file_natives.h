// The native methods of the run class ReportFile (java/ReportFile.java):
// holding its temporary file's name for removal on SIGINT, SIGTERM or
// SIGHUP (interrupt_cleanup.h), and the process's effective user id.
#ifndef XSLVALIDATE_JVMCORE_REPORT_FILE_NATIVES_H_
#define XSLVALIDATE_JVMCORE_REPORT_FILE_NATIVES_H_

#include <jni.h>

#include <string>

// Binds ReportFile's native methods (the class must be defined in the
// system class loader) and installs the signal handler. Safe to call again.
// Returns false with the reason in `*why` when the class or its methods
// cannot be found; a Java exception is not left pending. A handler that
// cannot be installed is reported on standard error, and the natives are
// bound all the same.
bool enableReportFileNatives(JNIEnv* env, std::string* why);

#endif  // XSLVALIDATE_JVMCORE_REPORT_FILE_NATIVES_H_
