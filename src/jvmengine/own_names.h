// Names that mean one thing in the caller's process and another in any
// other: its /proc entries (/proc/self, /proc/thread-self, its process id,
// its current folder and descriptors through them), its descriptors and
// standard streams (/dev/fd/N, /dev/stdin, /dev/stdout, /dev/stderr) and
// its terminal (/dev/tty). A run that names one anywhere, in any
// component or through symbolic links, runs in the caller's own process.
#ifndef XSLVALIDATE_JVMENGINE_OWN_NAMES_H_
#define XSLVALIDATE_JVMENGINE_OWN_NAMES_H_

#include <string>

// True when the absolute name `path`, resolved one component at a time
// in this process (each symbolic link followed, "." and ".." taken after
// the links before them), passes through /proc or one of the /dev names
// above at any step, whether or not the rest exists; also when it cannot
// be told (a loop of links, an unreadable link). Any /proc name counts, not
// only this process's: a run reading /proc is never worth serving.
bool reachesOwnProcess(const std::string& path);

#endif  // XSLVALIDATE_JVMENGINE_OWN_NAMES_H_
