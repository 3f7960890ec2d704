// What a batch came to: documents by verdict and the rules that rejected
// most of them, for the block after the last document.
#ifndef XSLVALIDATE_VERDICT_TALLY_H_
#define XSLVALIDATE_VERDICT_TALLY_H_

#include <map>
#include <string>

#include "verdict/result.h"

struct Tally {
  long long accepted = 0;
  long long rejected = 0;
  long long noVerdict = 0;
  // Rule id ("schema" for the XML Schema step) -> documents it rejected;
  // only rejected documents count.
  std::map<std::string, long long> rejectedBy;
  // Reason code -> documents without a verdict for that reason.
  std::map<std::string, long long> noVerdictBy;
};

// Counts `result` in `tally`: its verdict; for a rejected document each
// rule id with at least one rejecting finding in it once; for a document
// without a verdict its reason code.
void addToTally(Tally* tally, const DocumentResult& result);

// The summary block, lines ending "\n":
//   documents: N (accepted A, rejected R, no verdict V)
//   rejected most often by: ID (n documents), ID (n), ...
//   no verdict because of: CODE (n documents), ...
// the second line only when a document was rejected, naming at most
// `most` rule ids, most documents first, ties in id order; the third only
// when a document has no verdict, its reason codes in the same order. Rule ids come
// from the reports and are shown as `visible` makes them, so no report can
// add a line here.
std::string tallyText(const Tally& tally, size_t most = 10);

// The exit status over the whole call: 0 when every document was
// accepted, 1 when any was rejected and every one has a verdict, 3 when
// any has none.
int tallyStatus(const Tally& tally);

#endif  // XSLVALIDATE_VERDICT_TALLY_H_
