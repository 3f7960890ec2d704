// The engine server through the built tool: what it keeps, what it carries
// from the caller, callers at once, failures on either side, and its
// lifecycle. Every test has a runtime directory of its own (so a server of
// its own) and stops what servers it started.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine_server_fixture.h"
#include "serverprotocol/caller_context.h"
#include "serverprotocol/run_request.h"
#include "serverprotocol/wire.h"
#include "process.h"

namespace {

using namespace engine_server_test;

// A stylesheet that shows what the run got from its caller: the time
// zone of current-dateTime(), an environment variable, and a message on
// standard error; compiling it gives a warning there too.
const char kProbe[] =
    "<xsl:stylesheet version='3.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
    " xmlns:f='urn:probe' xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
    "<xsl:function name='f:one' as='xs:integer'><xsl:value-of select='1'/></xsl:function>"
    "<xsl:template match='/'><xsl:message>probe says hello</xsl:message>"
    "<probe zone='{format-dateTime(current-dateTime(), \"[Z]\")}'"
    " variable='{environment-variable(\"XSLV_PROBE\")}' elements='{count(//*)}' one='{f:one()}'/>"
    "</xsl:template></xsl:stylesheet>";

const char kBroken[] =
    "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='/'><xsl:no-such-instruction/></xsl:template></xsl:stylesheet>";

// A module's bytes decide, not its size or time stamp: a change that keeps
// both is compiled anew, in the principal module and in an included one.
TEST_F(EngineServer, ReusesACompileOnlyWhileEveryModuleIsUnchanged) {
  const std::string main = work_ + "/main.xsl";
  const std::string part = work_ + "/part.xsl";
  const auto stylesheet = [&](const std::string& word) {
    write(main,
          "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
          "<xsl:include href='part.xsl'/><xsl:template match='/'><r main='" + word +
          "' part='{$v}'/></xsl:template></xsl:stylesheet>");
  };
  const auto module = [&](const std::string& word) {
    write(part,
          "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
          "<xsl:variable name='v' select=\"'" + word + "'\"/></xsl:stylesheet>");
  };
  const auto sameStamp = [](const std::string& path, const std::function<void()>& change) {
    const auto stamp = fs::last_write_time(path);
    const auto size = fs::file_size(path);
    change();
    fs::last_write_time(path, stamp);
    ASSERT_EQ(size, fs::file_size(path));
  };
  stylesheet("MAIN1");
  module("PART1");
  const std::string report = work_ + "/invoice_main.xml";
  struct Step {
    std::function<void()> change;
    std::string main, part;
  } steps[] = {
      {[] {}, "MAIN1", "PART1"},
      {[] {}, "MAIN1", "PART1"},
      {[&] { sameStamp(part, [&] { module("PART2"); }); }, "MAIN1", "PART2"},
      {[&] { sameStamp(main, [&] { stylesheet("MAIN2"); }); }, "MAIN2", "PART2"},
  };
  for (const Step& step : steps) {
    step.change();
    ProcessResult r = tool({"invoice.xml", "main.xsl"}, environment());
    ASSERT_EQ(0, r.exitCode) << r.err;
    const std::string text = readFile(report);
    EXPECT_NE(std::string::npos, text.find("main=\"" + step.main + "\"")) << text;
    EXPECT_NE(std::string::npos, text.find("part=\"" + step.part + "\"")) << text;
  }
  EXPECT_EQ(1u, serverPids().size()) << "the runs went to one server";
}

// Relative names, the time zone, the environment and standard error come
// from the caller, as in-process; a compile's warnings are written again
// when the compiled stylesheet is reused.
TEST_F(EngineServer, CarriesTheCallersContext) {
  write(work_ + "/rules/probe.xsl", kProbe);
  const std::string report = work_ + "/invoice_probe.xml";
  const std::vector<std::string> extra = {"TZ=Asia/Kolkata", "XSLV_PROBE=caller's value"};
  ProcessResult results[3];
  std::string reports[3];
  const char* settings[] = {"off", "on", "on"};
  for (int i = 0; i < 3; ++i) {
    std::vector<std::string> env = environment(settings[i]);
    env.insert(env.end(), extra.begin(), extra.end());
    results[i] = tool({"invoice.xml", "rules/probe.xsl"}, env);
    reports[i] = readFile(report);
    fs::remove(report);
  }
  EXPECT_EQ(0, results[1].exitCode) << results[1].err;
  EXPECT_NE(std::string::npos, reports[1].find("zone=\"+05:30\"")) << reports[1];
  EXPECT_NE(std::string::npos, reports[1].find("variable=\"caller's value\"")) << reports[1];
  EXPECT_NE(std::string::npos, results[0].err.find("SXWN9000")) << results[0].err;
  EXPECT_NE(std::string::npos, results[0].err.find("probe says hello")) << results[0].err;
  for (int i = 1; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(reports[0], reports[i]);
    EXPECT_EQ(results[0].err, results[i].err);
    EXPECT_EQ(results[0].out, results[i].out);
  }
  EXPECT_EQ(1u, serverPids().size());
}

// What the caller's own process would give for names of its own (standard
// streams, /proc/self), its current directory and its time zone, whether
// the stylesheet names them in its text or builds them while it runs. The
// server is started by a caller in another directory without TZ; each case
// runs in-process and then twice through the server (compiled, then
// reused), with the same standard input.
TEST_F(EngineServer, CallersOwnFilesAndPropertiesAsInProcess) {
  const auto sheet = [](const std::string& body) {
    return "<xsl:stylesheet version='3.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
           "<xsl:template match='/'>" + body + "</xsl:template></xsl:stylesheet>";
  };
  struct Case {
    const char* name;
    std::string stylesheet;
    std::vector<std::string> extraEnvironment;
  } cases[] = {
      {"stdin named", sheet("<r in='{unparsed-text(\"/dev/stdin\")}'/>"), {}},
      {"stdin built", sheet("<r in='{unparsed-text(concat(\"/dev/\", \"std\", \"in\"))}'/>"), {}},
      {"stdin through a link", sheet("<r in='{unparsed-text(\"input-link\")}'/>"), {}},
      {"fd built", sheet("<r in='{doc-available(string-join((\"\", \"proc\", \"self\", \"fd\", "
                         "\"0\"), \"/\"))}'/>"), {}},
      {"stdout built", sheet("<r/><xsl:result-document href='{concat(\"file:///dev/\", "
                             "\"stdout\")}' method='text'>to standard output</xsl:result-document>"),
       {}},
      {"current directory", sheet("<r dir='{system-property(\"user.dir\")}'/>"), {}},
      {"time zone", sheet("<r tz='{system-property(\"user.timezone\")}'/>"),
       {"TZ=Europe/Paris"}},
      {"time zone by rule", sheet("<r tz='{system-property(\"user.timezone\")}'/>"),
       {"TZ=UTC-3"}},
  };
  const std::string input = dir_ + "/input.xml";
  write(input, "<from-the-caller/>\n");
  fs::create_symlink("/dev/stdin", work_ + "/input-link");
  ASSERT_EQ(0, tool({work_ + "/invoice.xml", kTotals}, environment(), dir_).exitCode);
  ASSERT_EQ(1u, serverPids().size());
  const auto run = [&](const std::vector<std::string>& env) {
    std::vector<std::string> argv = {"/bin/sh", "-c", "f=$1; shift; exec \"$@\" < \"$f\"", "sh",
                                     input, XSLVALIDATE_EXE, "invoice.xml", "case.xsl"};
    ProcessResult r = runProcess(argv, env, work_);
    const std::string report = readFile(work_ + "/invoice_case.xml");
    fs::remove(work_ + "/invoice_case.xml");
    return std::make_pair(r, report);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write(work_ + "/case.xsl", c.stylesheet);
    std::vector<std::string> off = environment("off"), on = environment();
    off.insert(off.end(), c.extraEnvironment.begin(), c.extraEnvironment.end());
    on.insert(on.end(), c.extraEnvironment.begin(), c.extraEnvironment.end());
    const auto expected = run(off);
    ASSERT_EQ(0, expected.first.exitCode) << expected.first.err;
    for (int i = 0; i < 2; ++i) {
      const auto got = run(on);
      EXPECT_EQ(expected.first.exitCode, got.first.exitCode);
      EXPECT_EQ(expected.first.out, got.first.out);
      EXPECT_EQ(expected.first.err, got.first.err);
      EXPECT_EQ(expected.second, got.second);
    }
  }
  // A caller with a time zone of its own starts a server of its own.
  EXPECT_EQ(3u, serverPids().size());
}

// A compiled stylesheet is reused only while everything its compile
// consulted is the same: a text or document read by a static expression,
// a document's absence, an environment variable in use-when, an external
// entity, the current directory. After each change, the server's run gives
// what an in-process run gives.
TEST_F(EngineServer, CompileInputsDecideReuse) {
  const auto sheet = [](const std::string& prolog, const std::string& declarations,
                        const std::string& body) {
    return prolog + "<xsl:stylesheet version='3.0' xmlns:xsl='http://www.w3.org/1999/XSL/"
           "Transform'>" + declarations + "<xsl:template match='/'>" + body +
           "</xsl:template></xsl:stylesheet>";
  };
  struct Case {
    const char* name;
    std::string stylesheet;
    std::function<void()> before, change;
    std::vector<std::string> environmentBefore, environmentAfter;
    std::string folderAfter;  // where the second caller runs, under work_
  } cases[] = {
      {"text in a static variable",
       sheet("", "<xsl:variable name='t' static='yes' select=\"unparsed-text('side.txt')\"/>",
             "<r t='{$t}'/>"),
       [&] { write(work_ + "/side.txt", "first"); },
       [&] { write(work_ + "/side.txt", "other"); }, {}, {}, ""},
      {"document that appears",
       sheet("", "<xsl:variable name='a' static='yes' select=\"doc-available('x.xml')\"/>",
             "<r a='{$a}'/>"),
       [&] { fs::remove(work_ + "/x.xml"); },
       [&] { write(work_ + "/x.xml", "<x/>"); }, {}, {}, ""},
      {"document in a static variable",
       sheet("", "<xsl:variable name='d' static='yes' select=\"string(doc('x.xml'))\"/>",
             "<r d='{$d}'/>"),
       [&] { write(work_ + "/x.xml", "<x>first</x>"); },
       [&] { write(work_ + "/x.xml", "<x>other</x>"); }, {}, {}, ""},
      {"environment variable in use-when",
       sheet("", "", "<r><a xsl:use-when=\"environment-variable('FOO') = '1'\"/></r>"), [] {}, [] {},
       {"FOO=1"}, {"FOO=2"}, ""},
      {"external entity",
       sheet("<!DOCTYPE xsl:stylesheet [<!ENTITY e SYSTEM 'entity.txt'>]>", "", "<r>&e;</r>"),
       [&] { write(work_ + "/entity.txt", "first"); },
       [&] { write(work_ + "/entity.txt", "other"); }, {}, {}, ""},
      {"current directory in a static variable",
       sheet("", "<xsl:variable name='d' static='yes' select=\"system-property('user.dir')\"/>",
             "<r d='{$d}'/>"),
       [] {}, [] {}, {}, {}, "elsewhere"},
  };
  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, environment()).exitCode);
  const std::string stylesheet = work_ + "/case.xsl";
  const auto run = [&](const std::string& server, const std::vector<std::string>& extra,
                       const std::string& folder) {
    std::vector<std::string> env = environment(server);
    env.insert(env.end(), extra.begin(), extra.end());
    const std::string where = folder.empty() ? work_ : work_ + "/" + folder;
    ProcessResult r = tool({work_ + "/invoice.xml", stylesheet}, env, where);
    const std::string report = readFile(work_ + "/invoice_case.xml");
    fs::remove(work_ + "/invoice_case.xml");
    EXPECT_EQ(0, r.exitCode) << r.err;
    return report;
  };
  fs::create_directories(work_ + "/elsewhere");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write(stylesheet, c.stylesheet);
    c.before();
    const std::string first = run("off", c.environmentBefore, "");
    EXPECT_EQ(first, run("on", c.environmentBefore, ""));
    EXPECT_EQ(first, run("on", c.environmentBefore, "")) << "reused";
    c.change();
    const std::string expected = run("off", c.environmentAfter, c.folderAfter);
    EXPECT_NE(first, expected) << "the change shows in-process";
    EXPECT_EQ(expected, run("on", c.environmentAfter, c.folderAfter));
  }
  EXPECT_EQ(1u, serverPids().size());
}

// Resident memory of process `pid` in kilobytes; 0 when unknown.
long residentKilobytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

// A caller whose stylesheet exhausts the heap beside an ordinary caller:
// the ordinary one gets the report it gets in-process, the runaway fails
// as it does in-process (in a heap of its own), and the server gives the
// memory back.
TEST_F(EngineServer, ARunawayFailsAloneAndTheHeapIsGivenBack) {
  const std::string rules = XSLVALIDATE_SHARED_DIR "/rules/EN16931-UBL-validation.xslt";
  fs::copy_file(XSLVALIDATE_SHARED_DIR "/invoices/ubl/BIS3_Invoice_positive.XML",
                work_ + "/ubl.xml");
  write(work_ + "/runaway/doc.xml", "<a/>");
  write(work_ + "/runaway/runaway.xsl",
        "<xsl:stylesheet version='3.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
        "<xsl:template match='/'><n><xsl:value-of select=\"count(sort(for $i in 1 to 30000000"
        " return concat('item-', $i)))\"/></n></xsl:template></xsl:stylesheet>");
  const std::string report = work_ + "/ubl_EN16931-UBL-validation.xml";
  ASSERT_EQ(0, tool({"ubl.xml", rules}, environment("off")).exitCode);
  const std::string expected = readFile(report);
  fs::remove(report);
  // A small server heap (a test-only setting): the runaway fills it in
  // seconds, and the test holds 256 MB of the machine rather than 1 GB.
  std::vector<std::string> small = environment();
  small.push_back("XSLVALIDATE_SERVER_TEST_HEAP=256m");
  ASSERT_EQ(0, tool({"ubl.xml", rules}, small).exitCode);  // compiled and kept
  fs::remove(report);
  ASSERT_EQ(1u, serverPids().size());
  const pid_t server = serverPids()[0];
  const long warm = residentKilobytes(server);

  const RunningProcess runaway =
      startProcess({XSLVALIDATE_EXE, "doc.xml", "runaway.xsl"}, environment(), work_ + "/runaway");
  ASSERT_GT(runaway.pid, 0) << runaway.startError;
  // Filled: the heap is 256 MB, and the watch acts once three quarters of
  // it stay in use; given back: the heap shrinks to about what it was.
  const long bound = warm + (64 << 10);
  EXPECT_TRUE(waitFor([&] { return residentKilobytes(server) > bound; }, 60))
      << "the runaway fills the server's heap";
  ProcessResult ordinary = tool({"ubl.xml", rules}, small);
  const ProcessResult stopped = waitProcess(runaway);

  EXPECT_EQ(0, ordinary.exitCode) << ordinary.err;
  EXPECT_EQ(expected, readFile(report));
  EXPECT_EQ(2, stopped.exitCode);
  EXPECT_NE(std::string::npos, stopped.err.find("OutOfMemoryError")) << stopped.err;
  EXPECT_EQ(std::string::npos, stopped.err.find("engine server")) << stopped.err;
  EXPECT_TRUE(waitFor([&] { return residentKilobytes(server) < bound; }, 30))
      << residentKilobytes(server) << " kB resident, " << warm << " kB before the runaway";
  EXPECT_EQ(std::vector<pid_t>{server}, serverPids());
}

// A relative name that names nothing is refused by the server in the
// in-process words, naming it as given.
TEST_F(EngineServer, MissingRelativeNameFailsAsInProcess) {
  ProcessResult off = tool({"invoice.xml", "nowhere.xsl"}, environment("off"));
  ProcessResult on = tool({"invoice.xml", "nowhere.xsl"}, environment());
  EXPECT_NE(0, on.exitCode);
  EXPECT_EQ(off.exitCode, on.exitCode);
  EXPECT_EQ(off.err, on.err);
  EXPECT_NE(std::string::npos, on.err.find("nowhere.xsl")) << on.err;
}

// A caller whose umask differs from the server's runs in-process, so its
// report gets the mode its umask gives.
TEST_F(EngineServer, AnotherUmaskRunsInProcess) {
  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, environment()).exitCode);
  ASSERT_EQ(1u, serverPids().size());
  const mode_t previous = umask(077);
  ProcessResult r = tool({"invoice.xml", kParties}, environment());
  umask(previous);
  EXPECT_EQ(0, r.exitCode) << r.err;
  struct stat status;
  ASSERT_EQ(0, stat((work_ + "/invoice_parties.xml").c_str(), &status));
  EXPECT_EQ(0600u, status.st_mode & 0777);
}

// Callers at once, on the same and on different documents, one of them
// failing: each gets the report and the standard error it gets in-process.
TEST_F(EngineServer, SeveralCallersAtOnce) {
  struct Caller {
    std::vector<std::string> arguments;
    std::string folder;
    std::vector<std::string> reports;
  };
  std::vector<Caller> callers = {
      {{"invoice.xml", kTotals, kParties}, "a", {"invoice_totals.xml", "invoice_parties.xml"}},
      {{"invoice.xml", kTotals, kParties}, "b", {"invoice_totals.xml", "invoice_parties.xml"}},
      {{"invoice.xml", "probe.xsl"}, "c", {"invoice_probe.xml"}},
      {{"invoice.xml", kTotals, "broken.xsl"}, "d", {"invoice_totals.xml"}},
  };
  write(work_ + "/c/probe.xsl", kProbe);
  write(work_ + "/d/broken.xsl", kBroken);
  write(work_ + "/b/invoice.xml", "<Invoice><ID>other</ID></Invoice>");
  for (const Caller& c : callers) {
    fs::create_directories(work_ + "/" + c.folder);
    if (!fs::exists(work_ + "/" + c.folder + "/invoice.xml"))
      fs::copy_file(work_ + "/invoice.xml", work_ + "/" + c.folder + "/invoice.xml");
  }
  std::vector<ProcessResult> expected, got(callers.size());
  std::vector<std::vector<std::string>> expectedReports;
  for (const Caller& c : callers) {
    expected.push_back(tool(c.arguments, environment("off"), work_ + "/" + c.folder));
    std::vector<std::string> reports;
    for (const std::string& name : c.reports) {
      reports.push_back(readFile(work_ + "/" + c.folder + "/" + name));
      fs::remove(work_ + "/" + c.folder + "/" + name);
    }
    expectedReports.push_back(reports);
  }
  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, environment()).exitCode);  // a server runs
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < callers.size(); ++i) {
    threads.emplace_back([&, i] {
      got[i] = tool(callers[i].arguments, environment(), work_ + "/" + callers[i].folder);
    });
  }
  for (std::thread& t : threads) t.join();
  for (std::size_t i = 0; i < callers.size(); ++i) {
    SCOPED_TRACE(callers[i].folder);
    EXPECT_EQ(expected[i].exitCode, got[i].exitCode);
    EXPECT_EQ(expected[i].err, got[i].err);
    for (std::size_t j = 0; j < callers[i].reports.size(); ++j) {
      EXPECT_EQ(expectedReports[i][j],
                readFile(work_ + "/" + callers[i].folder + "/" + callers[i].reports[j]));
    }
  }
  EXPECT_NE(0, got[3].exitCode);
  EXPECT_FALSE(fs::exists(work_ + "/d/invoice_broken.xml"));
  EXPECT_EQ(1u, serverPids().size());
}

// Runs that fail (a compile error, a stack overflow, a hostile document)
// fail as in-process and leave the server serving.
TEST_F(EngineServer, FailingRunsLeaveTheServerServing) {
  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, environment()).exitCode);
  ASSERT_EQ(1u, serverPids().size());
  const pid_t server = serverPids()[0];
  write(work_ + "/doctype.xml", "<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>");
  const std::vector<std::string> cases[] = {
      {"invoice.xml", XSLVALIDATE_SOURCE_DIR "/src/jvmengine/testdata/does_not_compile.xsl"},
      {"invoice.xml", XSLVALIDATE_SOURCE_DIR "/src/jvmengine/testdata/endless_recursion.xsl"},
      {"doctype.xml", kTotals},
  };
  for (const auto& arguments : cases) {
    SCOPED_TRACE(arguments[1]);
    ProcessResult off = tool(arguments, environment("off"));
    ProcessResult on = tool(arguments, environment());
    EXPECT_EQ(2, on.exitCode) << on.err.substr(0, 2000);
    EXPECT_EQ(off.exitCode, on.exitCode);
    ProcessResult next = tool({"invoice.xml", kParties}, environment());
    EXPECT_EQ(0, next.exitCode) << next.err;
    EXPECT_EQ(std::vector<pid_t>{server}, serverPids());
  }
}

// A server killed during a run: the run fails and says so, no report; the
// next caller finds the socket it left and starts a new server.
TEST_F(EngineServer, ServerKilledDuringARunFailsThatRun) {
  write(work_ + "/slow.xsl", kSlow);
  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, environment()).exitCode);
  ASSERT_EQ(1u, serverPids().size());
  const pid_t server = serverPids()[0];
  std::thread killer([&] {
    waitFor([&] { return !temporaryFiles().empty(); }, 30);  // the run is under way
    kill(server, SIGKILL);
  });
  ProcessResult r = tool({"invoice.xml", "slow.xsl"}, environment());
  killer.join();
  EXPECT_EQ(2, r.exitCode);
  EXPECT_NE(std::string::npos, r.err.find("engine server ended")) << r.err;
  EXPECT_FALSE(fs::exists(work_ + "/invoice_slow.xml"));
  ASSERT_TRUE(waitFor([&] { return !alive(server); }, 10));
  EXPECT_EQ(1u, serverFiles(".sock").size()) << "the killed server's socket is left";

  ProcessResult again = tool({"invoice.xml", kParties}, environment());
  EXPECT_EQ(0, again.exitCode) << again.err;
  ASSERT_EQ(1u, serverPids().size());
  EXPECT_NE(server, serverPids()[0]);
}

// A caller that goes away during a run: the server stops the run without a
// word to the caller, removes its temporary file, leaves the earlier report
// and serves the next caller.
TEST_F(EngineServer, CallerKilledDuringARunStopsThatRun) {
  write(work_ + "/slow.xsl", kSlow);
  write(work_ + "/invoice_slow.xml", "earlier report\n");
  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, environment()).exitCode);
  const RunningProcess caller =
      startProcess({XSLVALIDATE_EXE, "invoice.xml", "slow.xsl"}, environment(), work_);
  ASSERT_GT(caller.pid, 0) << caller.startError;
  ASSERT_TRUE(waitFor([&] { return !temporaryFiles().empty(); }, 30)) << "the run began";
  kill(caller.pid, SIGTERM);
  const ProcessResult stopped = waitProcess(caller);
  EXPECT_EQ(SIGTERM, stopped.signal);
  EXPECT_EQ("", stopped.err) << "as in-process, the stopped run says nothing";
  EXPECT_TRUE(waitFor([&] { return temporaryFiles().empty(); }, 20));
  EXPECT_EQ("earlier report\n", readFile(work_ + "/invoice_slow.xml"));
  ProcessResult next = tool({"invoice.xml", kParties}, environment());
  EXPECT_EQ(0, next.exitCode) << next.err;
  EXPECT_EQ(1u, serverPids().size());
}

// A server directory that others could enter or that is not the user's is
// never used: the runs go in-process, and nothing is put there.
TEST_F(EngineServer, RefusedServerDirectoryRunsInProcess) {
  struct Case {
    const char* what;
    mode_t mode;
    uid_t owner;
  } cases[] = {{"open to others", 0755, getuid()}, {"another owner", 0700, 65534}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.owner != getuid() && getuid() != 0) continue;  // only root can give it away
    fs::remove_all(serverDir());
    ASSERT_EQ(0, mkdir(serverDir().c_str(), c.mode));
    ASSERT_EQ(0, chmod(serverDir().c_str(), c.mode));
    ASSERT_EQ(0, chown(serverDir().c_str(), c.owner, static_cast<gid_t>(-1)));
    ProcessResult r = tool({"invoice.xml", kTotals}, environment());
    EXPECT_EQ(0, r.exitCode) << r.err;
    EXPECT_TRUE(fs::exists(work_ + "/invoice_totals.xml"));
    EXPECT_TRUE(fs::is_empty(serverDir()));
    fs::remove(work_ + "/invoice_totals.xml");
  }
}

// Another build of the server program gets a server of its own; the one
// running is not used for it.
TEST_F(EngineServer, AnotherBuildNeverUsesThisBuildsServer) {
  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, environment()).exitCode);
  ASSERT_EQ(1u, serverFiles(".sock").size());
  const std::string lib = dir_ + "/other-build";
  fs::create_directory(lib);
  fs::copy_file(JVMENGINE_LIBRARY, lib + "/" + fs::path(JVMENGINE_LIBRARY).filename().string());
  const std::string server = lib + "/" + fs::path(JVMENGINE_SERVER).filename().string();
  fs::copy_file(JVMENGINE_SERVER, server);
  std::ofstream(server, std::ios::app | std::ios::binary) << "another build";
  std::vector<std::string> env = environment();
  env.push_back("LD_LIBRARY_PATH=" + lib);  // comes before the tool's run path
  ProcessResult r = tool({"invoice.xml", kParties}, env);
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ(2u, serverFiles(".sock").size());
  EXPECT_EQ(2u, serverPids().size());
}

TEST_F(EngineServer, IdleServerExits) {
  std::vector<std::string> env = environment();
  env.push_back("XSLVALIDATE_SERVER_IDLE=1");
  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, env).exitCode);
  ASSERT_EQ(1u, serverPids().size());
  const pid_t server = serverPids()[0];
  EXPECT_TRUE(waitFor([&] { return !alive(server); }, 15));
  EXPECT_TRUE(serverFiles(".sock").empty());
  EXPECT_TRUE(serverFiles(".pid").empty());
}

// After its number of runs a server hands over: the next caller starts a
// fresh one, and the old one exits.
TEST_F(EngineServer, RetiresAfterItsNumberOfRuns) {
  std::vector<std::string> env = environment();
  env.push_back("XSLVALIDATE_SERVER_MAX_RUNS=2");
  ASSERT_EQ(0, tool({"invoice.xml", kTotals, kParties}, env).exitCode);
  ASSERT_EQ(1u, serverPids().size());
  const pid_t first = serverPids()[0];
  ASSERT_TRUE(waitFor([&] { return !alive(first); }, 15));
  ProcessResult r = tool({"invoice.xml", kTotals}, env);
  EXPECT_EQ(0, r.exitCode) << r.err;
  ASSERT_EQ(1u, serverPids().size());
  EXPECT_NE(first, serverPids()[0]);
}

TEST_F(EngineServer, SwitchedOffNeverStartsAServer) {
  ProcessResult r = tool({"invoice.xml", kTotals}, environment("off"));
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_TRUE(fs::exists(work_ + "/invoice_totals.xml"));
  EXPECT_FALSE(fs::exists(serverDir()));
}

// A connection to the Unix socket at `path`; -1 on failure.
int connectTo(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// The greeting of a client of this build with this process's umask.
std::string greeting() {
  const mode_t mask = umask(022);
  umask(mask);
  Writer hello;
  hello.bytes = kServerGreeting;
  hello.u32(kProtocolVersion);
  hello.u32(mask);
  // The time zone and locale of the tool's callers here (environment()).
  for (const char* name : {"TZ", "LANGUAGE", "LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LC_TIME",
                           "LC_NUMERIC", "LC_COLLATE", "LC_MONETARY",
                           "XSLVALIDATE_SERVER_CACHE_ENTRIES"}) {
    unsetenv(name);
  }
  setenv("LANG", "C.UTF-8", 1);
  hello.text(startSettingsKey());
  return hello.bytes;
}

// `payload` as one message: its length, then its bytes.
std::string framed(const std::string& payload) {
  Writer message;
  message.u32(static_cast<std::uint32_t>(payload.size()));
  return message.bytes + payload;
}

// A client that sends what no client of this build would: the server ends
// that conversation, starts no run on it, and goes on serving.
TEST_F(EngineServer, GarbageFromAClientEndsOnlyItsConversation) {
  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, environment()).exitCode);
  ASSERT_EQ(1u, serverPids().size());
  const pid_t server = serverPids()[0];
  const std::vector<std::string> sockets = serverFiles(".sock");
  ASSERT_EQ(1u, sockets.size());

  Writer huge;  // a length far above the cap, and nothing after it
  huge.u32(0xFFFFFFFFu);
  Writer truncated;  // claims two schemas, holds one
  truncated.u32(1);
  for (int i = 0; i < 4; ++i) truncated.text("");
  truncated.u32(2);
  truncated.text("x.xsd");
  Writer whole;  // a whole request: no file, no parameter, no variable, offset, switch
  writeRunRequest(whole, RunRequest{}, "/");
  for (int i = 0; i < 3; ++i) whole.u32(0);
  struct Case {
    const char* what;
    std::string greeting;
    char answer;        // to the greeting; 0 for none
    std::string bytes;  // then sent as they are
    int descriptor;     // passed with them, or -1
  };
  const Case cases[] = {
      {"nothing at all", "", 0, "", -1},
      {"a greeting of garbage", std::string(12, '\xFF'), kRefused, "", -1},
      {"a greeting cut short", "XSLV", 0, "", -1},
      {"a message above the size cap", greeting(), kAccepted, huge.bytes, STDERR_FILENO},
      {"a request cut short", greeting(), kAccepted, framed(truncated.bytes), STDERR_FILENO},
      {"a request with no standard error", greeting(), kAccepted, framed(whole.bytes), -1},
  };
  for (const Case& c : cases) {
    const int fd = connectTo(sockets[0]);
    ASSERT_GE(fd, 0) << c.what;
    if (!c.greeting.empty()) ASSERT_TRUE(sendAll(fd, c.greeting)) << c.what;
    if (c.answer) {
      const auto answer = receiveExactly(fd, 1);
      ASSERT_TRUE(answer) << c.what;
      EXPECT_EQ(c.answer, (*answer)[0]) << c.what;
    }
    if (!c.bytes.empty()) EXPECT_TRUE(sendAll(fd, c.bytes, c.descriptor)) << c.what;
    shutdown(fd, SHUT_WR);
    // The server closes its end without starting a run.
    EXPECT_FALSE(receiveExactly(fd, 1)) << c.what;
    close(fd);
  }
  ProcessResult r = tool({"invoice.xml", kParties}, environment());
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_TRUE(fs::exists(work_ + "/invoice_parties.xml"));
  ASSERT_EQ(1u, serverPids().size());
  EXPECT_EQ(server, serverPids()[0]) << "the same server served the next caller";
}

// A heap of the caller's own is honoured in-process, never handed to a
// server that another caller started with another heap.
TEST_F(EngineServer, AHeapOfTheCallersOwnRunsInProcess) {
  std::vector<std::string> env = environment();
  env.push_back("XSLVALIDATE_MAX_HEAP=512m");
  ProcessResult r = tool({"invoice.xml", kTotals}, env);
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_TRUE(serverPids().empty());
}

// The debug switch traces the path each run really takes: the server it
// started or connected to and the run's own steps, carried back from the
// server; or why it ran in-process.
TEST_F(EngineServer, DebugSwitchTracesThePathTaken) {
  struct Case {
    std::vector<std::string> extra;
    std::vector<std::string> lines;  // each expected in standard error, in order
  };
  const std::string debug = "XSLVALIDATE_DEBUG=1";
  const Case cases[] = {
      {{debug},
       {"xslvalidate debug: engine server started at " + serverDir() + "/engine-",
        "xslvalidate debug: run on the engine server (process ",
        "xslvalidate debug: compile ", "xslvalidate debug: transform ",
        "xslvalidate debug: write ", "xslvalidate debug: engine run served by the engine server"}},
      {{debug},
       {"xslvalidate debug: engine server connected at " + serverDir() + "/engine-",
        "xslvalidate debug: run on the engine server (process ",
        "xslvalidate debug: write ", "xslvalidate debug: engine run served by the engine server"}},
      {{debug, "XSLVALIDATE_MAX_HEAP=512m"},
       {"xslvalidate debug: engine server not used (XSLVALIDATE_MAX_HEAP is set",
        "xslvalidate debug: JVM option -Xmx512m",
        "xslvalidate debug: engine run in-process (XSLVALIDATE_MAX_HEAP is set",
        "xslvalidate debug: write "}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> env = environment();
    env.insert(env.end(), c.extra.begin(), c.extra.end());
    ProcessResult r = tool({"invoice.xml", kTotals}, env);
    EXPECT_EQ(0, r.exitCode) << r.err;
    std::size_t at = 0;
    for (const std::string& line : c.lines) {
      at = r.err.find(line, at);
      ASSERT_NE(std::string::npos, at) << line << " in:\n" << r.err;
    }
    if (c.lines.empty()) EXPECT_EQ("", r.err);
  }
  EXPECT_EQ(1u, serverPids().size());
}

// A runtime folder whose path is longer than a socket's address holds
// still gets the shared server: the socket is named through its folder.
TEST_F(EngineServer, ALongRuntimeFolderStillGetsTheServer) {
  const std::string runtime = runtime_ + "/" + std::string(120, 'r');
  fs::create_directories(runtime);
  std::vector<std::string> env = environment();
  for (std::string& variable : env) {
    if (variable.rfind("XDG_RUNTIME_DIR=", 0) == 0) variable = "XDG_RUNTIME_DIR=" + runtime;
  }
  env.push_back("XSLVALIDATE_DEBUG=1");
  const std::string served = "xslvalidate debug: engine run served by the engine server (process ";
  std::vector<long> servers;
  for (int i = 0; i < 2; ++i) {
    const ProcessResult r = tool({"invoice.xml", kTotals}, env);
    EXPECT_EQ(0, r.exitCode) << r.err;
    const std::size_t at = r.err.find(served);
    ASSERT_NE(std::string::npos, at) << r.err;
    servers.push_back(std::atol(r.err.c_str() + at + served.size()));
  }
  EXPECT_EQ(servers[0], servers[1]) << "one shared server";
  kill(static_cast<pid_t>(servers[0]), SIGTERM);
  EXPECT_TRUE(waitFor([&] { return !alive(static_cast<pid_t>(servers[0])); }, 10));
}

}  // namespace
