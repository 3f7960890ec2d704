// xslvalidate-verdict: runs the stylesheets over the document as
// xslvalidate does, reads each report it just wrote and says whether the
// document is accepted.
#ifndef XSLVALIDATE_VERDICT_VERDICT_H_
#define XSLVALIDATE_VERDICT_VERDICT_H_

#include <string>
#include <vector>

// Statuses of the command.
enum VerdictStatus {
  kAccepted = 0,    // every report read as SVRL, none rejects the document
  kRejected = 1,    // a finding rejects it, or its own fault (not XML, a
                    // DOCTYPE, empty, no scenario matches)
  kUsageError = 2,  // unknown option, too few arguments, document missing,
                    // a scenario configuration refused
  kNoVerdict = 3,   // a run failed, a report was not written or not SVRL,
                    // the wrong rule set, the engine did not start, no
                    // document to check at all
  kOutputError = 4,  // the verdict could not be written to standard output
};

// Runs the command on `arguments` (the program name first, then options,
// the document and one or more stylesheets). Writes the findings and the
// verdict to standard output, errors to standard error. Returns one of
// VerdictStatus.
int runVerdict(const std::vector<std::u16string>& arguments);

#endif  // XSLVALIDATE_VERDICT_VERDICT_H_
