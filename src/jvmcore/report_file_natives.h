// The native methods of the run class ReportFile (java/ReportFile.java):
// holding its temporary file's name for removal on SIGINT, SIGTERM or
// SIGHUP (interrupt_cleanup.h).
#ifndef XSLVALIDATE_JVMCORE_REPORT_FILE_NATIVES_H_
#define XSLVALIDATE_JVMCORE_REPORT_FILE_NATIVES_H_

#include <jni.h>

// Binds ReportFile's native methods (the class must be defined in the
// system class loader) and installs the signal handler. Safe to call again.
// Returns false after writing the reason to standard error when the class
// or its methods cannot be found; a Java exception is not left pending.
bool enableReportFileNatives(JNIEnv* env);

#endif  // XSLVALIDATE_JVMCORE_REPORT_FILE_NATIVES_H_
