// The five calls of the XSLT engine library, with C linkage.
//
// On Windows they come from the engine's native library (a GraalVM native
// image); on Linux from our own library in src/jvmengine/, which implements
// them on Saxon-HE inside a JVM. The tool binds to them when it is loaded.
#ifndef XSLVALIDATE_ENGINE_ENGINE_API_H_
#define XSLVALIDATE_ENGINE_ENGINE_API_H_

#ifdef __cplusplus
extern "C" {
#endif

typedef struct graal_isolate_t graal_isolate_t;
typedef struct graal_isolatethread_t graal_isolatethread_t;
typedef struct graal_create_isolate_params_t graal_create_isolate_params_t;

// Creates the isolate and attaches the calling thread to it. Stores both
// handles and returns 0; returns nonzero when no isolate could be made.
int graal_create_isolate(graal_create_isolate_params_t* params,
                         graal_isolate_t** isolate,
                         graal_isolatethread_t** thread);

// Detaches the thread from its isolate. Returns 0, or nonzero on failure.
int graal_detach_thread(graal_isolatethread_t* thread);

// Makes an empty option list for one transform run that holds at least
// `capacity` options, and returns its handle.
long long createProcessorDataWithCapacity(graal_isolatethread_t* thread,
                                          int capacity);

// Appends one NUL-terminated UTF-8 option string ("-s:...", "-xsl:...",
// "-o:...") to the run's option list. The string is copied. The Linux
// engine also takes "-xsd:..." (the schema step, instead of "-xsl:") and
// "-err:..." (the run's messages to a file): doc/schema-step.md.
void addProcessorProperty(graal_isolatethread_t* thread,
                          long long processorData, char* option);

// Runs the engine's transform command with the options added so far, in
// the order added. A list is made for one run: the Linux engine frees it
// when the run starts, so a handle is run once. Returns 0 when the run completed and its result was
// written, nonzero otherwise (the engine reports why on standard error).
int j_run_transform(graal_isolatethread_t* thread, long long processorData);

#ifdef __cplusplus
}
#endif

#endif  // XSLVALIDATE_ENGINE_ENGINE_API_H_
