// Checking many documents in one call: several workers, each with its own
// engine connection and scratch folder, checking documents in parallel;
// each result handed on in input order as soon as it and every one before
// it are done.
#ifndef XSLVALIDATE_VERDICT_BATCH_H_
#define XSLVALIDATE_VERDICT_BATCH_H_

#include <functional>
#include <string>
#include <vector>

#include "verdict/check.h"
#include "verdict/inputs.h"

// Called on the calling thread, once per document, in input order:
// the document's position, its result, and how long checking it took.
using ResultSink =
    std::function<void(size_t position, const DocumentResult& result, double seconds)>;

// Checks `documents` under `plan` with `jobs` workers (at least one; never
// more than there are documents; on Windows always one, on the calling
// thread). Each worker starts its own engine
// environment (graal_create_isolate on its own thread: an engine server
// connection of its own, or the in-process engine attached to that
// thread) and scratch folder, and removes both at the end. What the engine
// writes about a document's runs is kept in its record (engineMessages)
// where the engine can write it to a file, else it goes to standard error
// as the runs write it. Reports go to
// reportFolderOf(document, reportDir). A document whose report folder
// cannot be made, or that a worker cannot check for want of an engine or
// scratch folder, gets a result without verdict and its reason; the
// others go on. Returns when every document has been handed to `sink`.
void checkBatch(const CheckPlan& plan, const std::vector<InputDocument>& documents,
                const std::u16string& reportDir, size_t jobs, const ResultSink& sink);

#endif  // XSLVALIDATE_VERDICT_BATCH_H_
