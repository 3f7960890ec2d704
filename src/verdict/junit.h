// A batch as JUnit XML, the test report CI servers (GitLab, Jenkins,
// GitHub Actions' test reporters) read: one test case per document.
#ifndef XSLVALIDATE_VERDICT_JUNIT_H_
#define XSLVALIDATE_VERDICT_JUNIT_H_

#include <string>
#include <vector>

#include "verdict/result.h"

struct TimedResult {
  const DocumentResult* result;
  double seconds;  // how long checking the document took
};

// The whole file: <testsuites> holding one <testsuite> named `suite`, with
// one <testcase> per result in the order given: classname the scenario
// (or "xslvalidate-verdict" without one), name and file the document. An
// accepted document passes; a rejected one holds <failure type="rejected">
// whose text lists its findings; one without verdict holds <error
// type="no verdict"> whose message is the reason and whose text adds what
// the engine wrote. Counts and times (seconds) on both suite elements;
// `timestamp` (ISO 8601) on the suite. Every text is escaped for XML.
std::string junitReport(const std::vector<TimedResult>& results, const std::string& suite,
                        const std::string& timestamp);

#endif  // XSLVALIDATE_VERDICT_JUNIT_H_
