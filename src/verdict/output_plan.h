// Every file one call writes, planned before anything runs, and the one
// check every planned file passes: no output is one of the call's inputs
// (the same file by identity, whatever path names it), and no two outputs
// are one file.
#ifndef XSLVALIDATE_VERDICT_OUTPUT_PLAN_H_
#define XSLVALIDATE_VERDICT_OUTPUT_PLAN_H_

#include <cstddef>
#include <string>
#include <vector>

#include "verdict/check.h"
#include "verdict/host_files.h"
#include "verdict/inputs.h"

// A file the call is to write, and what it is, in words ("the report
// a_totals.xml of a.xml").
struct PlannedOutput {
  static constexpr size_t kAny = static_cast<size_t>(-1);
  std::u16string path;
  std::string what;
  size_t document = kAny;  // the document it belongs to, by position
  // The scenario it belongs to (numbered over every configuration): of
  // one document's outputs, those of two scenarios are alternatives, as
  // only the scenario that matches writes its own.
  size_t scenario = kAny;
};

// A file the call reads, and what it is ("the document a.xml", "the rule
// set rules/totals.xslt").
struct CallInput {
  std::u16string path;
  std::string what;
  // The file itself where it has no path to name it (standard input
  // redirected from a file); used when `path` is empty.
  FileIdentity identity;
};

// Where the outputs that are not the plan's own go.
struct OutputPlaces {
  std::u16string reportDir;  // reportFolderOf's: empty puts reports beside each document
  std::u16string pagesDir;   // --pages; empty: none
  std::u16string junit;      // --junit; empty: none
};

// Where the supplier's page of `document` goes under `pagesDir`: laid out
// as the reports are, named <document file name>.html. The page's writer
// and the plan both name it so.
std::u16string pagePath(const InputDocument& document, std::u16string_view pagesDir);

// Every file checking `documents` under `plan` writes, under the names the
// writers give them: each rule set's SVRL report when the plan keeps them
// (every scenario's, as any may match), the configuration's report, its
// input and its HTML, each document's page and the JUnit file. A new
// output of the command is added here, so that it is checked with the rest.
std::vector<PlannedOutput> planOutputs(const CheckPlan& plan,
                                       const std::vector<InputDocument>& documents,
                                       const OutputPlaces& places);

// Every file the call reads that an output could overwrite: the documents,
// the rule sets given by hand, and of each configuration its file, its
// schemas, rule sets and report stylesheets.
std::vector<CallInput> callInputs(const CheckPlan& plan,
                                  const std::vector<InputDocument>& documents);

// Why the call is refused, in one line: the first output that is an input
// ("<what> would overwrite <input's what>"), or the first two outputs that
// are one file ("<what> and <what> are the same file"); empty text when
// there is neither. Existing files are compared by identity (device and
// inode, on Windows volume and file index); files not yet there by their
// absolute, normalized path, letter case ignored, as a case-insensitive
// file system would.
std::string outputClash(const std::vector<CallInput>& inputs,
                        const std::vector<PlannedOutput>& outputs);

#endif  // XSLVALIDATE_VERDICT_OUTPUT_PLAN_H_
