// The validation service's warm-up: before a configuration serves (at
// start and after a reload), each of its stylesheets and schema sets is
// run once over a tiny document, so that the engine server compiles and
// keeps them before the first real document needs them.
#ifndef XSLVALIDATE_VERDICT_DAEMON_WARM_UP_H_
#define XSLVALIDATE_VERDICT_DAEMON_WARM_UP_H_

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "verdict/batch_worker.h"
#include "verdict/check.h"

// One compile to make: a stylesheet (run with the source's line numbers
// when `lines`, as the page's is), or (with `stylesheet` empty) a set of
// XML Schemas taken together.
struct WarmUpRun {
  std::u16string stylesheet;
  std::vector<std::u16string> schemas;
  bool lines = false;
  bool operator==(const WarmUpRun&) const = default;
};

// Every stylesheet and schema set a check under `plan` runs, each once:
// the bundled stylesheets it uses, as placed in `bundled` (the summary;
// the report input with configurations; the contexts with rule sets by
// hand; the page and the explanation when the plan makes them), then rule
// sets by hand and each configuration's match, rule sets, schemas, and
// report runners (which also decide acceptance), in the order the plan
// names them.
std::vector<WarmUpRun> warmUpRuns(const CheckPlan& plan, const BundledPlaces& bundled);

// What a warm-up did: of `runs` compiles, how many were made, and how
// many of those also ran over the tiny document without failing; and the
// first that did not, in words (its file by name), empty when none.
struct WarmUpOutcome {
  size_t runs = 0;
  size_t compiled = 0;
  size_t ran = 0;
  std::string problem;
  // Whether every compile was made and ran without failing.
  bool complete() const { return problem.empty() && ran == runs; }
};

// Makes each of warmUpRuns(plan, *worker->check.bundled) with `worker` over
// a tiny document in its scratch folder, calling `beforeRun` before each
// (it may stop the run, which then fails). A worker without an engine or
// scratch folder makes none: every run is counted as not compiled.
WarmUpOutcome warmUp(const CheckPlan& plan, BatchWorker* worker,
                     const std::function<void()>& beforeRun);

#endif  // XSLVALIDATE_VERDICT_DAEMON_WARM_UP_H_
