// Calls the Linux engine library adds to the five for a long-lived caller
// (the validation service): runs only on the engine server, and stopping a
// thread's run from another thread. The Windows engine has no such calls.
#ifndef XSLVALIDATE_ENGINE_ENGINE_SERVICE_H_
#define XSLVALIDATE_ENGINE_ENGINE_SERVICE_H_

#include "engine/engine_api.h"

// The line a run's messages get when its engine server ended before the
// run's status came back (the server died or was killed mid-run): the run
// failed for want of an engine, not through its stylesheet.
#define XSLVALIDATE_SERVER_LOST_MESSAGE \
  "jvmengine: the engine server ended before the run's status came back; " \
  "the run counts as failed"

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

// Makes every later run of `thread` (the calling thread's handle) go to an
// engine server and never into this process: when its server has closed
// the connection before a run (it retired after its number of runs, or
// died), the thread connects anew, starting a server when none listens,
// and the run goes there; a run no server takes fails with status 2.
// Returns 0; 1 when the thread has no server connection (its runs are
// made in this process).
int xslvalidate_server_only(graal_isolatethread_t* thread);

// Attaches the calling thread to an engine server and to nothing else: as
// graal_create_isolate followed by xslvalidate_server_only, except that
// when no server can be had (none listens and none can be started, or it
// refuses this caller, over a few tries a moment apart, as a server that
// is ending may close a connection it took) it starts nothing in this
// process, leaves the
// thread as it was and returns 1. A thread attached to a server already
// keeps its connection while it is open; one its server closed (retired
// or died) is replaced by a fresh connection, or 1 is returned. A thread
// whose runs are made in this process gets 1. Returns 0 with `*thread`
// set to the thread's handle otherwise.
int xslvalidate_attach_to_server(graal_isolatethread_t** thread);

#ifdef __cplusplus
}
#endif

#endif  // XSLVALIDATE_ENGINE_ENGINE_SERVICE_H_
