// Where the engine library writes a run's own messages (those it finds
// before or after the JVM's part of the run): the file the run names with
// "-err:<file>", as the JVM side writes its messages there, else standard
// error.
#ifndef XSLVALIDATE_JVMENGINE_RUN_MESSAGES_H_
#define XSLVALIDATE_JVMENGINE_RUN_MESSAGES_H_

#include <string>
#include <vector>

// When a run's messages go to a file: before the JVM has started on the
// run (the file is created or truncated, as the JVM side would) or after
// it (the file is appended to).
enum class RunMessageMoment { kBeforeTheRun, kAfterTheRun };

// Writes `line` and a newline to the file named by the last "-err:" option
// in `options`, or to standard error when there is none or it cannot be
// opened.
void tellRun(const std::vector<std::string>& options, RunMessageMoment moment,
             const std::string& line);

#endif  // XSLVALIDATE_JVMENGINE_RUN_MESSAGES_H_
