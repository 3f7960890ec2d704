// Removing the workers' scratch folders when SIGINT, SIGTERM or SIGHUP
// ends the process in the middle of a batch (POSIX hosts; on Windows the
// calls do nothing).
#ifndef XSLVALIDATE_VERDICT_SCRATCH_GUARD_H_
#define XSLVALIDATE_VERDICT_SCRATCH_GUARD_H_

#include <string_view>

// Installs the handler once, for each of the three signals whose action
// is not "ignore": it empties and removes every held folder and every
// scratch folder of this process (scratchPlace, host_files.h: also one
// made a moment before it was held), then passes
// the signal to the action that was in place before (the engine's own
// clean-up, which the engine installs when graal_create_isolate returns),
// or ends the process by the signal as its default action would. Call it
// after the engine environments are made.
void installScratchCleanup();

// Holds `folder` (a scratch folder holding files only, or a single file)
// for removal on one of those signals. Returns a slot for releaseScratchFolder, or -1
// when it cannot be held.
int holdScratchFolder(std::u16string_view folder);

// Releases `slot`; -1 is ignored. Call it before removing the folder.
void releaseScratchFolder(int slot);

// True once one of those signals is ending the process: the handler has
// removed what was held then, and other threads may still run a while
// (the engine's clean-up waits for the engine server), so a thread that
// holds a new file checks this after holding it and, when true, removes
// the file itself and goes no further. Always false on Windows.
bool endingBySignal();

#endif  // XSLVALIDATE_VERDICT_SCRATCH_GUARD_H_
