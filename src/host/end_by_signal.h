// Ending the process by a signal, from that signal's handler, as the
// signal's default action would have: a shell then sees 128 + its number.
#ifndef XSLVALIDATE_HOST_END_BY_SIGNAL_H_
#define XSLVALIDATE_HOST_END_BY_SIGNAL_H_

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

// Restores the default action of `signal`, unblocks it and raises it
// again. Does not return. Async-signal-safe.
[[noreturn]] inline void endBySignal(int signal) {
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  sigaction(signal, &byDefault, nullptr);
  sigset_t self;
  sigemptyset(&self);
  sigaddset(&self, signal);
  pthread_sigmask(SIG_UNBLOCK, &self, nullptr);
  raise(signal);
  // Not reached: the default action of these signals ends the process.
  _exit(128 + signal);
}

#endif  // XSLVALIDATE_HOST_END_BY_SIGNAL_H_
