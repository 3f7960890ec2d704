// A call the Linux engine library adds to the five: stopping a thread's
// run from another thread. Only the Linux programs that need it (the
// validation service) use it; the Windows engine has no such call.
#ifndef XSLVALIDATE_ENGINE_ENGINE_STOP_H_
#define XSLVALIDATE_ENGINE_ENGINE_STOP_H_

#include "engine/engine_api.h"

#ifdef __cplusplus
extern "C" {
#endif

// Stops the run that `thread` (a handle from graal_create_isolate on
// another thread) is making on the engine server, and fails every later
// run of that thread, until it detaches and attaches again. Returns 0;
// returns 1 when the thread's runs are made in this process, which cannot
// be stopped. Call it only while `thread` stays attached: its owner must
// not detach meanwhile.
int xslvalidate_stop_run(graal_isolatethread_t* thread);

#ifdef __cplusplus
}
#endif

#endif  // XSLVALIDATE_ENGINE_ENGINE_STOP_H_
