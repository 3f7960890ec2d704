// Whether this host's engine tells where a node is in the document it
// read: the Linux engine library keeps line and column numbers for a run
// that asks; the Windows engine DLL gives none.
#ifndef XSLVALIDATE_VERDICT_SOURCE_LINES_H_
#define XSLVALIDATE_VERDICT_SOURCE_LINES_H_

// True when a run that asks for the document's lines gets them, so that
// following a finding's location on the document can tell its line.
bool engineGivesSourceLines();

#endif  // XSLVALIDATE_VERDICT_SOURCE_LINES_H_
