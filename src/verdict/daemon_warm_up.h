// The validation service's warm-up: before a configuration serves (at
// start and after a reload), each of its stylesheets and schema sets is
// run once over a tiny document, so that the engine server compiles and
// keeps them before the first real document needs them.
#ifndef XSLVALIDATE_VERDICT_DAEMON_WARM_UP_H_
#define XSLVALIDATE_VERDICT_DAEMON_WARM_UP_H_

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

// Makes each of warmUpRuns(plan, *worker->check.bundled) with `worker` over
// a tiny document in its scratch folder, calling `beforeRun` before each.
// Returns how many ran without failing; one that fails (stopped, or
// failing on the tiny document) is not counted, though its compile may
// well be kept.
size_t warmUp(const CheckPlan& plan, BatchWorker* worker,
              const std::function<void()>& beforeRun);

#endif  // XSLVALIDATE_VERDICT_DAEMON_WARM_UP_H_
