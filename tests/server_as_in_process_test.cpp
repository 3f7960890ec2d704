// Each caller gets from the engine server byte for byte what its own
// process gives: one table of callers (their time zone, their names of
// their own, options of a library caller) and kinds of stylesheet (read
// while compiling, or not), each run in-process and then through a server
// started beforehand by a plain caller in another folder, without TZ.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "engine_server_fixture.h"
#include "process.h"

namespace {

using namespace engine_server_test;

std::string sheet(const std::string& declarations, const std::string& body) {
  return "<xsl:stylesheet version='3.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
         " xmlns:xs='http://www.w3.org/2001/XMLSchema'>" + declarations +
         "<xsl:template match='/'>" + body + "</xsl:template></xsl:stylesheet>";
}

// What a run gave its caller: status, both streams, the report's bytes.
struct Outcome {
  ProcessResult process;
  std::string report;
};

class ServerAsInProcess : public EngineServer {
 protected:
  // Runs `argv` in work_ with the server `setting` and `extra` variables;
  // takes its report away.
  Outcome run(const std::vector<std::string>& argv, const std::string& setting,
              const std::vector<std::string>& extra) {
    std::vector<std::string> env = environment(setting);
    env.insert(env.end(), extra.begin(), extra.end());
    Outcome outcome{runProcess(argv, env, work_), readFile(work_ + "/invoice_case.xml")};
    fs::remove(work_ + "/invoice_case.xml");
    return outcome;
  }

  static void expectSame(const Outcome& expected, const Outcome& got) {
    EXPECT_EQ(expected.process.exitCode, got.process.exitCode);
    EXPECT_EQ(expected.process.out, got.process.out);
    EXPECT_EQ(expected.process.err, got.process.err);
    EXPECT_EQ(expected.report, got.report);
  }
};

TEST_F(ServerAsInProcess, EveryCallerGetsItsInProcessRun) {
  const std::vector<std::string> tool = {XSLVALIDATE_EXE, "invoice.xml", "case.xsl"};
  const std::vector<std::string> library = {LIBRARY_CALLER, "-s:invoice.xml", "-xsl:case.xsl",
                                            "-o:invoice_case.xml"};
  const auto with = [](std::vector<std::string> argv, const std::vector<std::string>& more) {
    argv.insert(argv.end(), more.begin(), more.end());
    return argv;
  };
  const std::string tokyo = "TZ=Asia/Tokyo";
  const std::string zone =
      "string(adjust-dateTime-to-timezone(xs:dateTime('2020-01-01T00:00:00Z')))";
  struct Case {
    const char* name;
    std::string stylesheet;
    std::vector<std::string> argv;        // the caller compared
    std::vector<std::string> extra;       // its variables
    std::vector<std::string> before;      // another caller's run just before, if any
    std::function<void()> change;         // then a change, and the comparison again
  } cases[] = {
      {"time zone in a static variable",
       sheet("<xsl:variable name='t' static='yes' select=\"" + zone + "\"/>", "<r t='{$t}'/>"),
       tool, {tokyo}, {}, nullptr},
      {"time zone in a constant expression", sheet("", "<r t=\"{" + zone + "}\"/>"), tool, {tokyo},
       {}, nullptr},
      {"clock through a character reference",
       sheet("<xsl:variable name='t' static='yes' select='string(&#105;mplicit-timezone())'/>",
             "<r t='{$t}'/>"),
       tool, {tokyo}, {}, nullptr},
      {"shadow attribute after a tab and a newline",
       sheet("", "<r><xsl:value-of\t\n_select=\"'{implicit-timezone()}'\"/></r>"), tool, {tokyo},
       {}, nullptr},
      {"static doc() whose document has an external entity",
       sheet("<xsl:variable name='d' static='yes' select=\"string(doc('x.xml'))\"/>",
             "<r d='{$d}'/>"),
       tool, {}, {}, [this] { write(work_ + "/entity.txt", "other"); }},
      {"the caller's current folder through /proc/self/cwd",
       sheet("", "<r n='{count(//*)}'/>"),
       {XSLVALIDATE_EXE, "/proc/self/cwd/invoice.xml", "case.xsl"}, {}, {}, nullptr},
      {"messages to /proc/self/fd/2",
       sheet("", "<xsl:message>to the caller</xsl:message><r/>"),
       with(library, {"-err:/proc/self/fd/2"}), {}, {}, nullptr},
      {"a plain caller after one that strips whitespace",
       sheet("", "<r ws='{count(//text()[not(normalize-space())])}'/>"), tool, {},
       with(library, {"-strip:all"}), nullptr},
      {"a plain caller after one with a static parameter",
       sheet("<xsl:param name='p' static='yes' select=\"'default'\"/>", "<r p='{$p}'/>"), tool, {},
       with(library, {"p=evil"}), nullptr},
      {"a library caller with an option of Saxon's own",
       sheet("", "<r ws='{count(//text()[not(normalize-space())])}'/>"),
       with(library, {"-strip:all"}), {}, {}, nullptr},
  };
  write(work_ + "/x.xml", "<!DOCTYPE x [<!ENTITY e SYSTEM 'entity.txt'>]><x>&e;</x>");
  write(work_ + "/entity.txt", "first");
  ASSERT_EQ(0, runProcess({XSLVALIDATE_EXE, work_ + "/invoice.xml", kTotals}, environment(), dir_)
                   .exitCode);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write(work_ + "/case.xsl", c.stylesheet);
    for (int round = 0; round < (c.change ? 2 : 1); ++round) {
      if (round == 1) c.change();
      const Outcome expected = run(c.argv, "off", c.extra);
      EXPECT_EQ(0, expected.process.exitCode) << expected.process.err;
      EXPECT_NE("", expected.report);
      for (int i = 0; i < 2; ++i) {  // compiled, then perhaps reused
        if (!c.before.empty()) run(c.before, "on", {});
        expectSame(expected, run(c.argv, "on", c.extra));
      }
    }
  }
}

}  // namespace
