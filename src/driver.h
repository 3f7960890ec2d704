// The validation driver: checks the command line, runs every stylesheet
// over the input document in order, and turns the outcome into a status.
#ifndef XSLVALIDATE_DRIVER_H_
#define XSLVALIDATE_DRIVER_H_

#include <string>
#include <vector>

// Runs the tool on `arguments` (the program name first, then the input
// document, then one or more stylesheets), writing the banner and its own
// error lines to standard output. Returns the tool's status: 0 when every
// stylesheet ran with status 0; 1 for a short command line, a missing input
// document or a failed isolate creation; 2 when detaching fails; otherwise
// the nonzero status of the first run that failed, after which no further
// stylesheet is run. An input document that may exist but cannot be
// reached adds "xslvalidate: cannot reach <name>: <reason>" on standard
// error. Standard output that cannot be written (a full disk, /dev/full)
// leaves the status as it is and adds "xslvalidate: standard output could
// not be written: <reason>" on standard error.
int runDriver(const std::vector<std::u16string>& arguments);

#endif  // XSLVALIDATE_DRIVER_H_
