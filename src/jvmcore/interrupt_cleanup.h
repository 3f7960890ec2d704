// Removing a run's temporary report file when the process is ended by
// SIGINT, SIGTERM or SIGHUP, in this process or in the engine server. The JVM runs with -Xrs, so these signals are
// the host's; the handler here removes the names held at that moment and
// then lets the signal end the process as it would have without it (killed
// by that signal, so a shell sees 128 + its number).
#ifndef XSLVALIDATE_JVMCORE_INTERRUPT_CLEANUP_H_
#define XSLVALIDATE_JVMCORE_INTERRUPT_CLEANUP_H_

// Installs the handler for SIGINT, SIGTERM and SIGHUP, each only where the
// signal's action is the default one: a signal the caller ignores (nohup)
// or handles itself is left as it is. Safe to call again; returns false
// when sigaction fails for one of them.
bool installInterruptCleanup();

// Holds `path` (an absolute file name, NUL-terminated) for removal should
// one of those signals end the process. Returns a slot number to release
// later, or -1 when the name is too long or every slot is taken (the file
// then is not removed on a signal; a later run's stale-file sweep still
// finds it). Async-signal-safe against the handler; callable from any
// thread.
int holdForInterrupt(const char* path);

// Releases slot `slot` from holdForInterrupt; -1 is ignored. Call it once
// the file is renamed away or removed.
void releaseFromInterrupt(int slot);

// Holds `fd`, the connection of a run that the engine server is making for
// this process: should one of those signals end the process meanwhile, the
// handler first closes the sending side of every held connection, which
// makes the server stop those runs and remove their temporary files, and
// waits (a bounded time) until the server has closed each, so the files
// are gone before the process ends. Several threads may each hold their
// run's. Returns a slot number for releaseServerRun, or -1 when every slot
// is taken (the run is then not stopped on a signal).
int holdServerRun(int fd);

// Releases slot `slot` from holdServerRun; -1 is ignored.
void releaseServerRun(int slot);

#endif  // XSLVALIDATE_JVMCORE_INTERRUPT_CLEANUP_H_
