// Which callers the engine server serves: a caller whose context (mount
// namespace, groups, resource limits) differs from the server's gets what
// an in-process run gives it, from a server of its own or in-process; a
// server that does not answer and a current directory it cannot name send
// the run in-process; names that could block it (pipes, devices) are
// refused in the same words on both paths; a run
// blocked for good does not keep the server alive. Every test stops the
// servers it started; cases that change user, groups or namespaces need
// root and are skipped without it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "engine_server_fixture.h"
#include "process.h"

namespace {

using namespace engine_server_test;

// Whether a thread of process `pid` waits in the kernel for the other end
// of a pipe it opens (the kernel function it sleeps in, its wait channel).
bool waitsForAPipesPartner(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  for (const auto& task : fs::directory_iterator(tasks, error)) {
    if (readFile(task.path().string() + "/wchan") == "wait_for_partner") return true;
  }
  return false;
}

constexpr uid_t kNobody = 65534;
constexpr gid_t kGroup = 4242;  // a group only some callers are in

// Writes the document's first ID into the report.
const char kEcho[] =
    "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='/'><r id='{(//*[local-name() = \"ID\"])[1]}'/></xsl:template>"
    "</xsl:stylesheet>";

// Writes a report of a few hundred kilobytes.
const char kLarge[] =
    "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='/'><r><xsl:for-each select='1 to 20000'><line n='{.}'/>"
    "</xsl:for-each></r></xsl:template></xsl:stylesheet>";

const std::vector<std::string> kAsNobody = {"/usr/bin/setpriv", "--reuid=65534",
                                            "--regid=65534"};

std::vector<std::string> joined(std::vector<std::string> first,
                                const std::vector<std::string>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

class ServerContext : public EngineServer {
 protected:
  // Runs the tool under `prefix` (a program that changes the caller's
  // context and runs the rest), through a shell that first runs `setup`
  // and afterwards shows `report`, as the caller sees it, on standard
  // output: its start and its checksum.
  ProcessResult caller(const std::vector<std::string>& prefix, const std::string& setup,
                       const std::vector<std::string>& arguments, const std::string& report,
                       const std::string& server) {
    const std::string run = report.empty() ? "exec \"$0\" \"$@\""
                                           : "\"$0\" \"$@\"; s=$?; head -c 200 '" + report +
                                                 "' && cksum < '" + report + "'; exit $s";
    std::vector<std::string> argv =
        joined(prefix, {"/bin/sh", "-c", setup + "\n" + run, XSLVALIDATE_EXE});
    return runProcess(joined(argv, arguments), environment(server), work_);
  }

  // A fresh runtime directory owned by `owner`, used from now on.
  void useRuntime(const std::string& name, uid_t owner) {
    runtime_ = dir_ + "/" + name;
    fs::create_directory(runtime_);
    ASSERT_EQ(0, chown(runtime_.c_str(), owner, owner));
    ASSERT_EQ(0, chmod(runtime_.c_str(), 0700));
  }

  bool root() const { return geteuid() == 0 && access("/usr/bin/setpriv", X_OK) == 0; }
};

void expectSame(const ProcessResult& expected, const ProcessResult& got) {
  EXPECT_EQ(expected.exitCode, got.exitCode) << got.err.substr(0, 2000);
  EXPECT_EQ(expected.signal, got.signal);
  EXPECT_EQ(expected.out, got.out);
  EXPECT_EQ(expected.err, got.err);
}

// A server started by one caller; a later caller of another context gets
// exactly what it gets in-process, from a server of its own (two servers
// then run) or in-process (one).
TEST_F(ServerContext, AnotherContextGetsWhatInProcessGives) {
  if (!root()) GTEST_SKIP() << "needs root and setpriv";
  ASSERT_EQ(0, chmod(dir_.c_str(), 0755));
  ASSERT_EQ(0, chmod(work_.c_str(), 0777));
  write(work_ + "/echo.xsl", kEcho);
  write(work_ + "/large.xsl", kLarge);
  write(work_ + "/slow.xsl", kSlow);
  write(work_ + "/ns/invoice.xml", "<Invoice><ID>outside</ID></Invoice>");
  write(work_ + "/secret.xml", "<Invoice><ID>for the group only</ID></Invoice>");
  ASSERT_EQ(0, chown((work_ + "/secret.xml").c_str(), 0, kGroup));
  ASSERT_EQ(0, chmod((work_ + "/secret.xml").c_str(), 0640));
  const std::vector<std::string> withGroup = joined(kAsNobody, {"--groups=4242"});
  const std::vector<std::string> noGroups = joined(kAsNobody, {"--clear-groups"});
  const std::string inside = "mount -t tmpfs none '" + work_ + "/ns' && printf '" +
                             "<Invoice><ID>inside</ID></Invoice>' > '" + work_ + "/ns/invoice.xml'";
  struct Case {
    const char* what;
    std::vector<std::string> starterPrefix;
    std::string starterSetup;
    std::vector<std::string> callerPrefix;
    std::string callerSetup;
    std::vector<std::string> arguments;
    std::string report;
    std::size_t servers;
  } cases[] = {
      {"another mount namespace", {}, "", {"/usr/bin/unshare", "-m"}, inside,
       {work_ + "/ns/invoice.xml", "echo.xsl"}, work_ + "/ns/invoice_echo.xml", 2},
      {"without the server's group", withGroup, "", noGroups, "",
       {"secret.xml", "echo.xsl"}, work_ + "/secret_echo.xml", 2},
      {"with a group the server lacks", noGroups, "", withGroup, "",
       {"secret.xml", "echo.xsl"}, work_ + "/secret_echo.xml", 2},
      {"a smaller file size limit", {}, "", {}, "ulimit -f 16",
       {"invoice.xml", "large.xsl"}, work_ + "/invoice_large.xml", 2},
      {"a larger file size limit", {}, "ulimit -f 16", {}, "",
       {"invoice.xml", "large.xsl"}, work_ + "/invoice_large.xml", 2},
      {"another open files limit", {}, "ulimit -n 1100", {}, "",
       {"invoice.xml", "echo.xsl"}, work_ + "/invoice_echo.xml", 2},
      {"a CPU time limit", {}, "", {"/usr/bin/timeout", "-s", "KILL", "120"}, "ulimit -t 3",
       {"invoice.xml", "slow.xsl"}, "", 1},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const bool nobody = !c.starterPrefix.empty() && c.starterPrefix[0] == kAsNobody[0];
    useRuntime("runtime-" + std::to_string(index++), nobody ? kNobody : 0);
    ProcessResult started = caller(c.starterPrefix, c.starterSetup, {"invoice.xml", "echo.xsl"},
                                   "", "on");
    ASSERT_EQ(0, started.exitCode) << started.err;
    ASSERT_EQ(1u, serverPids().size());
    fs::remove(work_ + "/invoice_echo.xml");
    ProcessResult expected = caller(c.callerPrefix, c.callerSetup, c.arguments, c.report, "off");
    if (!c.report.empty()) fs::remove(c.report);
    ProcessResult got = caller(c.callerPrefix, c.callerSetup, c.arguments, c.report, "on");
    if (!c.report.empty()) fs::remove(c.report);
    expectSame(expected, got);
    EXPECT_EQ(c.servers, serverPids().size());
    stopServers();
  }
}

// A caller that reaches a server of another context under its own socket
// name is refused by the server and runs in-process.
TEST_F(ServerContext, ServerRefusesAPeerOfAnotherContext) {
  write(work_ + "/large.xsl", kLarge);
  const std::vector<std::string> arguments = {"invoice.xml", "large.xsl"};
  const std::string report = work_ + "/invoice_large.xml";
  // The limited caller's own server, stopped: its lock file stays and
  // gives the socket name it uses.
  ASSERT_EQ(2, caller({}, "ulimit -f 16", arguments, "", "on").exitCode);
  stopServers();
  ASSERT_EQ(1u, serverFiles(".lock").size());
  std::string limitedSocket = serverFiles(".lock")[0];
  limitedSocket.replace(limitedSocket.size() - 5, 5, ".sock");

  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, environment()).exitCode);
  ASSERT_EQ(1u, serverFiles(".sock").size());
  ASSERT_EQ(0, link(serverFiles(".sock")[0].c_str(), limitedSocket.c_str()));
  ProcessResult expected = caller({}, "ulimit -f 16", arguments, report, "off");
  fs::remove(report);
  ProcessResult got = caller({}, "ulimit -f 16", arguments, report, "on");
  expectSame(expected, got);
  EXPECT_NE(std::string::npos, got.err.find("File too large")) << got.err;
  EXPECT_EQ(1u, serverPids().size());
}

// A stopped server holds no caller: each wait before the run starts is
// bounded, and the run goes in-process.
TEST_F(ServerContext, StoppedServerSendsRunsInProcess) {
  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, environment()).exitCode);
  ASSERT_EQ(1u, serverPids().size());
  const pid_t server = serverPids()[0];
  ASSERT_EQ(0, kill(server, SIGSTOP));
  const auto start = std::chrono::steady_clock::now();
  ProcessResult r = runProcess({"/usr/bin/timeout", "-s", "KILL", "60", XSLVALIDATE_EXE,
                                "invoice.xml", kParties},
                               environment(), work_);
  const auto took = std::chrono::steady_clock::now() - start;
  kill(server, SIGCONT);
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_TRUE(fs::exists(work_ + "/invoice_parties.xml"));
  EXPECT_LT(took, std::chrono::seconds(30));
  EXPECT_EQ(std::vector<pid_t>{server}, serverPids());
}

// Pipes and devices are refused up front as document or stylesheet, in the
// same words on both paths, however they are named.
TEST_F(ServerContext, PipesAndDevicesAreRefusedUpFront) {
  ASSERT_EQ(0, mkfifo((work_ + "/pipe.xml").c_str(), 0600));
  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, environment()).exitCode);  // a server runs
  const std::vector<std::string> cases[] = {
      {work_ + "/pipe.xml", kTotals},
      {"pipe.xml", kTotals},
      {"invoice.xml", work_ + "/pipe.xml"},
      {"invoice.xml", "pipe.xml"},
      {"invoice.xml", "/dev/zero"},
      {"/dev/zero", kTotals},
  };
  for (const auto& arguments : cases) {
    SCOPED_TRACE(arguments[0] + " " + arguments[1]);
    const std::vector<std::string> argv =
        joined({"/usr/bin/timeout", "-s", "KILL", "60", XSLVALIDATE_EXE}, arguments);
    ProcessResult off = runProcess(argv, environment("off"), work_);
    ProcessResult on = runProcess(argv, environment(), work_);
    EXPECT_EQ(2, on.exitCode) << on.err.substr(0, 2000);
    expectSame(off, on);
    EXPECT_NE(std::string::npos, on.err.find("is not a regular file (a pipe or a device)"))
        << on.err.substr(0, 2000);
  }
  EXPECT_EQ(1u, serverPids().size());
}

// A run blocked for good (reading a pipe nobody writes) whose caller went
// away does not keep the server past its idle time.
TEST_F(ServerContext, BlockedRunOfAGoneCallerDoesNotKeepTheServer) {
  const std::string pipe = work_ + "/pipe.txt";
  ASSERT_EQ(0, mkfifo(pipe.c_str(), 0600));
  write(work_ + "/names.xml", "<names pipe='" + pipe + "'/>");
  write(work_ + "/reads.xsl",
        "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
        "<xsl:template match='/'><xsl:message>reading the pipe</xsl:message>"
        "<r><xsl:value-of select='unparsed-text(string(/names/@pipe))'/></r>"
        "</xsl:template></xsl:stylesheet>");
  std::vector<std::string> env = environment();
  env.push_back("XSLVALIDATE_SERVER_IDLE=2");
  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, env).exitCode);
  ASSERT_EQ(1u, serverPids().size());
  const pid_t server = serverPids()[0];
  const RunningProcess blocked =
      startProcess({XSLVALIDATE_EXE, "names.xml", "reads.xsl"}, env, work_);
  ASSERT_GT(blocked.pid, 0) << blocked.startError;
  // Blocked: a thread of the server waits in the kernel for the pipe's
  // writer.
  const bool reading = waitFor(
      [&] { return readFile(blocked.errPath).find("reading the pipe") != std::string::npos; }, 30);
  EXPECT_TRUE(waitFor([&] { return waitsForAPipesPartner(server); }, 30));
  kill(blocked.pid, SIGKILL);
  waitProcess(blocked);
  ASSERT_TRUE(reading);
  EXPECT_TRUE(waitFor([&] { return !alive(server); }, 30));
  // Frees a blocked server thread, whatever happened.
  const int writer = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
  if (writer >= 0) close(writer);
}

// In a current directory whose name is not UTF-8 the run goes in-process
// and fails, or succeeds, for the same reason.
TEST_F(ServerContext, CurrentDirectoryNotUtf8RunsAsInProcess) {
  const std::string folder = work_ + "/caf\xE9";
  fs::create_directory(folder);
  fs::copy_file(work_ + "/invoice.xml", folder + "/invoice.xml");
  write(folder + "/echo.xsl", kEcho);
  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, environment()).exitCode);  // a server runs
  ProcessResult off = tool({"invoice.xml", "echo.xsl"}, environment("off"), folder);
  const std::string report = readFile(folder + "/invoice_echo.xml");
  fs::remove(folder + "/invoice_echo.xml");
  ProcessResult on = tool({"invoice.xml", "echo.xsl"}, environment(), folder);
  expectSame(off, on);
  EXPECT_EQ(report, readFile(folder + "/invoice_echo.xml"));
  EXPECT_EQ(std::string::npos, on.err.find("does not exist")) << on.err;
}

// A JVM that fails as it starts leaves its crash report in the user's
// private folder, never in the caller's current directory. The address
// space limits that make it fail so differ between machines: a few are
// tried (such a caller runs in-process, with or without the server).
TEST_F(ServerContext, JvmCrashFilesStayOutOfTheCallersFolder) {
  ASSERT_EQ(0, mkdir(serverDir().c_str(), 0700));
  bool crashed = false;
  for (const char* limit : {"2000000", "2500000", "3000000", "3500000"}) {
    SCOPED_TRACE(limit);
    caller({}, std::string("ulimit -v ") + limit, {"invoice.xml", kTotals}, "", "on");
    for (const auto& entry : fs::directory_iterator(work_)) {
      EXPECT_EQ(std::string::npos, entry.path().filename().string().find("_pid"))
          << entry.path();
    }
    crashed = crashed || !serverFiles(".log").empty();
  }
  EXPECT_TRUE(crashed) << "no limit made the JVM fail with a crash report";
  EXPECT_TRUE(serverPids().empty());
}

}  // namespace
