// The bridge to the XSLT engine: one engine environment per process and
// one transform run per stylesheet.
#ifndef XSLVALIDATE_ENGINE_BRIDGE_H_
#define XSLVALIDATE_ENGINE_BRIDGE_H_

#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_api.h"

// The engine's handles. Made by the driver, filled in by `createIsolate`,
// kept until the process ends and never released.
struct EngineEnvironment {
  graal_isolate_t* isolate;
  graal_isolatethread_t* thread;  // passed to every engine call
  // When set, each run's messages go to this file (the engine's "-err:"
  // option, which the Linux engine knows) instead of standard error, and
  // after the run what the file holds is added to `messages`; a caller
  // running several documents at once keeps each one's messages apart.
  std::u16string messagesFile;
  std::string messages;
  // The same messages taken apart, where the engine marks the end of a
  // run's compile in the file: each run's compile messages (a reused
  // compile's are written again), and the messages of the runs over the
  // document, in order. A run without the mark (one that ended before its
  // compile did, a schema step) counts wholly as run messages.
  std::vector<std::string> compileMessages;
  std::string runMessages;
  // Whether the last run's compile was done (the engine marked its end),
  // even when the run then failed; known only with `messagesFile`.
  bool lastRunCompiled = false;
};

// Creates the engine's isolate and attaches the calling thread. Returns 0;
// on failure writes "graal_create_isolate error" to standard error and
// returns 1, leaving the environment unusable.
int createIsolate(EngineEnvironment* environment);

// What a run may read besides its source and stylesheet: which file is the
// user's document, and the folders it may read in. The Linux engine keeps
// to them (doc/safety.md): every read of the user's document, however
// reached, goes through its guarded parser, and a run with a scope reads
// no file outside it. Empty fields add no option.
struct ReadRules {
  std::u16string document;            // "-doc:", when it is not the run's source
  std::vector<std::u16string> scope;  // "-read:<folder>" each
  // "+<name>=<file>": the stylesheet parameter <name> gets the document in
  // <file> (any engine knows this option of Saxon's command line).
  std::string parameter;
  std::u16string parameterFile;
};

// Runs one stylesheet over the input document, writing the report at
// deriveReportPath(inputPath, stylesheetPath). The engine gets exactly the
// options "-s:<input>", "-xsl:<stylesheet>", "-o:<report>", paths in UTF-8
// (host/utf8.h). Returns the engine's status unchanged: 0 on success. A
// path without a UTF-8 form (on Windows, one holding a lone surrogate) is
// refused before the engine is called: one line on standard error naming
// it, status 2, as the Linux engine refuses a name that is not UTF-8.
int runTransform(EngineEnvironment* environment, std::u16string_view inputPath,
                 std::u16string_view stylesheetPath);

// Runs one stylesheet as `runTransform` does, but writes the result at
// `outputPath` instead of the derived report path, under `rules`. Returns
// the engine's status unchanged: 0 on success.
int runTransformTo(EngineEnvironment* environment,
                   std::u16string_view inputPath,
                   std::u16string_view stylesheetPath,
                   std::u16string_view outputPath,
                   const ReadRules& rules = {});

// Runs one stylesheet as `runTransformTo` does, for a stylesheet that
// reports on the document itself: the engine keeps the source document's
// line and column numbers for it to read (the option "-l:on"; an engine
// that cannot give them ignores it). Returns the engine's status
// unchanged: 0 on success.
int runTransformWithLines(EngineEnvironment* environment,
                          std::u16string_view inputPath,
                          std::u16string_view stylesheetPath,
                          std::u16string_view outputPath);

// Validates the document at `inputPath` against the XML Schemas at
// `schemaPaths` (one or more, taken together), writing the schema report
// at `reportPath`. The engine gets the options "-s:<input>", one
// "-xsd:<schema>" per schema in the order given, "-o:<report>" and those
// of `rules`, paths in UTF-8. Returns the engine's status unchanged: 0 when the report was
// written, whether the document is valid or not; nonzero (2 from the
// engine) when a schema could not be read or compiled or the document is
// missing. A path without a UTF-8 form is refused as by runTransform.
int runSchemaValidation(EngineEnvironment* environment,
                        std::u16string_view inputPath,
                        const std::vector<std::u16string>& schemaPaths,
                        std::u16string_view reportPath,
                        const ReadRules& rules = {});

#endif  // XSLVALIDATE_ENGINE_BRIDGE_H_
