// Each caller gets from the engine server byte for byte what its own
// process gives: one table of callers (their time zone, their names of
// their own, options of a library caller) and kinds of stylesheet (read
// while compiling, or not), each run in-process and then through a server
// started beforehand by a plain caller in another folder, without TZ.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <iostream>
#include <set>
#include <string>
#include <thread>
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

// What a run gave its caller: status, both streams (without the debug
// switch's lines), the report's bytes; and the route the engine run took,
// as its debug line names it.
struct Outcome {
  ProcessResult process;
  std::string report;
  std::string route;
};

constexpr char kDebug[] = "xslvalidate debug: ";
constexpr char kEngineRun[] = "xslvalidate debug: engine run ";
constexpr char kOnServer[] = "served by the engine server";

// `err` without the debug switch's lines; the route of its last engine run
// into `*route`.
std::string withoutDebugLines(const std::string& err, std::string* route) {
  std::string kept;
  std::size_t start = 0;
  while (start < err.size()) {
    std::size_t end = err.find('\n', start);
    end = end == std::string::npos ? err.size() : end + 1;
    const std::string line = err.substr(start, end - start);
    if (line.rfind(kEngineRun, 0) == 0) *route = line.substr(sizeof kEngineRun - 1);
    if (line.rfind(kDebug, 0) != 0) kept += line;
    start = end;
  }
  return kept;
}

class ServerAsInProcess : public EngineServer {
 protected:
  // Runs `argv` in work_ with the server `setting`, the debug switch
  // (unless not `traced`) and `extra` variables; takes its report away.
  Outcome run(const std::vector<std::string>& argv, const std::string& setting,
              const std::vector<std::string>& extra, bool traced = true) {
    std::vector<std::string> env = environment(setting);
    if (traced) env.push_back("XSLVALIDATE_DEBUG=1");
    env.insert(env.end(), extra.begin(), extra.end());
    Outcome outcome{runProcess(argv, env, work_), readFile(work_ + "/invoice_case.xml"), ""};
    outcome.process.err = withoutDebugLines(outcome.process.err, &outcome.route);
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

// The names of every system property the JVM of the engine's JDK has.
std::string propertyNames() {
  const ProcessResult r = runProcess({JAVA_EXE, "-XshowSettings:properties", "-version"},
                                     {"PATH=/usr/bin:/bin"}, "/");
  std::string names;
  std::size_t start = 0;
  while (start < r.err.size()) {
    std::size_t end = r.err.find('\n', start);
    if (end == std::string::npos) end = r.err.size();
    const std::string line = r.err.substr(start, end - start);
    const std::size_t equals = line.find(" = ");
    if (line.rfind("    ", 0) == 0 && line[4] != ' ' && equals != std::string::npos)
      names += line.substr(4, equals - 4) + "\n";
    start = end + 1;
  }
  return names;
}

// Whether this process may make a mount namespace of its own.
bool mountNamespaces() {
  return runProcess({"/usr/bin/unshare", "-m", "true"}, {"PATH=/usr/bin:/bin:/usr/sbin:/sbin"}, "/")
             .exitCode == 0;
}

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
  // In a mount namespace of its own: a first run (the server it starts, or
  // finds, sees /etc as it is), then /etc with another time zone, then the
  // run compared.
  const std::string exe = XSLVALIDATE_EXE;
  const std::string otherZone =
      "'" + exe + "' invoice.xml case.xsl >/dev/null 2>&1; "
      "rm -rf ns && mkdir -p ns/etc ns/real && mount --bind /etc ns/real && "
      "for f in /etc/* /etc/.[!.]*; do"
      " [ -e \"$f\" ] && ln -s \"$PWD/ns/real/${f#/etc/}\" ns/etc/; done; "
      "rm -f ns/etc/localtime ns/etc/timezone && "
      "ln -s /usr/share/zoneinfo/Asia/Tokyo ns/etc/localtime && "
      "echo Asia/Tokyo > ns/etc/timezone && mount --bind ns/etc /etc && "
      "exec '" + exe + "' invoice.xml case.xsl";
  struct Case {
    const char* name;
    std::string stylesheet;
    std::vector<std::string> argv;        // the caller compared
    std::vector<std::string> extra;       // its variables
    std::vector<std::string> before;      // another caller's run just before, if any
    std::function<void()> change;         // then a change, and the comparison again
    bool served;                          // whether the server runs it (else handed back or kept)
    bool (*available)() = nullptr;        // whether this machine can make the caller
  } cases[] = {
      {"time zone in a static variable",
       sheet("<xsl:variable name='t' static='yes' select=\"" + zone + "\"/>", "<r t='{$t}'/>"),
       tool, {tokyo}, {}, nullptr, false},
      {"time zone in a constant expression", sheet("", "<r t=\"{" + zone + "}\"/>"), tool, {tokyo},
       {}, nullptr, true},
      {"clock through a character reference",
       sheet("<xsl:variable name='t' static='yes' select='string(&#105;mplicit-timezone())'/>",
             "<r t='{$t}'/>"),
       tool, {tokyo}, {}, nullptr, false},
      {"shadow attribute after a tab and a newline",
       sheet("", "<r><xsl:value-of\t\n_select=\"'{implicit-timezone()}'\"/></r>"), tool, {tokyo},
       {}, nullptr, false},
      {"static doc() whose document has an external entity",
       sheet("<xsl:variable name='d' static='yes' select=\"string(doc('x.xml'))\"/>",
             "<r d='{$d}'/>"),
       tool, {}, {}, [this] { write(work_ + "/entity.txt", "other"); }, false},
      {"the caller's current folder through /proc/self/cwd",
       sheet("", "<r n='{count(//*)}'/>"),
       {XSLVALIDATE_EXE, "/proc/self/cwd/invoice.xml", "case.xsl"}, {}, {}, nullptr, false},
      {"messages to /proc/self/fd/2",
       sheet("", "<xsl:message>to the caller</xsl:message><r/>"),
       with(library, {"-err:/proc/self/fd/2"}), {}, {}, nullptr, false},
      {"a plain caller after one that strips whitespace",
       sheet("", "<r ws='{count(//text()[not(normalize-space())])}'/>"), tool, {},
       with(library, {"-strip:all"}), nullptr, true},
      {"a plain caller after one with a static parameter",
       sheet("<xsl:param name='p' static='yes' select=\"'default'\"/>", "<r p='{$p}'/>"), tool, {},
       with(library, {"p=evil"}), nullptr, false},
      {"a library caller with an option of Saxon's own",
       sheet("", "<r ws='{count(//text()[not(normalize-space())])}'/>"),
       with(library, {"-strip:all"}), {}, {}, nullptr, false},
      {"document numbers after another caller's runs",
       sheet("<xsl:variable name='t'><a/></xsl:variable>",
             "<r d='{generate-id(/)}' t='{generate-id($t)}'"
             " p=\"{generate-id(parse-xml('&lt;b/&gt;'))}\""
             " e='{generate-id(doc(\"y.xml\"))}'/>"),
       tool, {}, {XSLVALIDATE_EXE, "invoice.xml", kTotals, kParties}, nullptr, true},
      {"every system property, by names read at run time, for a caller with its own "
       "LD_LIBRARY_PATH, HOME and TMPDIR",
       sheet("", "<r><xsl:value-of separator='&#10;' select=\"for $n in "
                 "tokenize(unparsed-text('names.txt'), '&#10;')[.] "
                 "return concat($n, '=', system-property($n))\"/></r>"),
       tool,
       {"LD_LIBRARY_PATH=/opt/caller-lib", "HOME=/nonexistent-home", "TMPDIR=/tmp/elsewhere"},
       {}, nullptr, true},
      {"user.timezone after /etc/localtime changed in the caller's mount namespace",
       sheet("", "<r z=\"{system-property('user.timezone')}\" t='{implicit-timezone()}'/>"),
       {"/usr/bin/unshare", "-m", "sh", "-c", otherZone}, {"PATH=/usr/bin:/bin:/usr/sbin:/sbin"}, {},
       nullptr, true, mountNamespaces},
  };
  write(work_ + "/x.xml", "<!DOCTYPE x [<!ENTITY e SYSTEM 'entity.txt'>]><x>&e;</x>");
  write(work_ + "/entity.txt", "first");
  write(work_ + "/y.xml", "<y/>");
  const std::string names = propertyNames();
  ASSERT_NE(std::string::npos, names.find("java.library.path\n")) << names;
  write(work_ + "/names.txt", names);
  ASSERT_EQ(0, runProcess({XSLVALIDATE_EXE, work_ + "/invoice.xml", kTotals}, environment(), dir_)
                   .exitCode);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.available && !c.available()) {
      std::cout << "not tried here: " << c.name << "\n";
      continue;
    }
    write(work_ + "/case.xsl", c.stylesheet);
    for (int round = 0; round < (c.change ? 2 : 1); ++round) {
      if (round == 1) c.change();
      const Outcome expected = run(c.argv, "off", c.extra);
      EXPECT_EQ(0, expected.process.exitCode) << expected.process.err;
      EXPECT_NE("", expected.report);
      EXPECT_NE(0u, expected.route.rfind(kOnServer, 0)) << expected.route;
      for (int i = 0; i < 2; ++i) {  // compiled, then perhaps reused
        if (!c.before.empty()) run(c.before, "on", {});
        const Outcome got = run(c.argv, "on", c.extra);
        expectSame(expected, got);
        EXPECT_EQ(c.served, got.route.rfind(kOnServer, 0) == 0) << got.route;
      }
    }
  }
}

// Every check of a run's files is made once, where the run runs: a run
// whose files are refused is still served, and the server refuses it in
// the caller's own words.
TEST_F(ServerAsInProcess, RefusedFilesGetTheCallersWords) {
  write(work_ + "/case.xsl", sheet("", "<r/>"));
  ASSERT_EQ(0, mkfifo((work_ + "/fifo.xsl").c_str(), 0600));
  const auto library = [](const std::string& stylesheet, const std::string& report) {
    return std::vector<std::string>{LIBRARY_CALLER, "-s:invoice.xml", "-xsl:" + stylesheet,
                                    "-o:" + report};
  };
  struct Case {
    const char* name;
    std::vector<std::string> argv;
  } cases[] = {
      {"a relative stylesheet that does not exist",
       {XSLVALIDATE_EXE, "invoice.xml", "missing.xsl"}},
      {"a stylesheet that is a pipe", {XSLVALIDATE_EXE, "invoice.xml", "fifo.xsl"}},
      {"a relative report folder that does not exist",
       library("case.xsl", "missing/invoice_case.xml")},
      {"a library caller's stylesheet that does not exist",
       library("missing.xsl", "invoice_case.xml")},
  };
  ASSERT_EQ(0, runProcess({XSLVALIDATE_EXE, work_ + "/invoice.xml", kTotals}, environment(), dir_)
                   .exitCode);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome expected = run(c.argv, "off", {});
    EXPECT_NE("", expected.process.err);
    const Outcome served = run(c.argv, "on", {});
    EXPECT_EQ(0u, served.route.rfind(kOnServer, 0)) << served.route;
    expectSame(expected, served);
  }
}

// The FTP port of the loopback address, where the JDK connects for a
// file://127.0.0.1/ URI (it ignores any port given). Each connection is
// counted and closed at once, so that a client that made one fails soon.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(21);
    const int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    listening_ = fd_ >= 0 &&
                 bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                 listen(fd_, 16) == 0;
    if (listening_) accepter_ = std::thread([this] { accept(); });
  }
  ~Listener() {
    stop_ = true;
    if (accepter_.joinable()) accepter_.join();
    close(fd_);
  }
  // False when the port cannot be had (taken, or a user without the right
  // to bind it).
  bool listening() const { return listening_; }
  // Whether a connection came since the last call.
  bool connected() { return connections_.exchange(0) > 0; }

 private:
  void accept() {
    while (!stop_) {
      const int accepted = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (accepted >= 0) {
        ++connections_;
        close(accepted);
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
  }

  int fd_ = -1;
  bool listening_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::thread accepter_;
};

// A file: URI with a host is read by the JDK over FTP; every resolver
// refuses it on both paths, so nothing reaches the port, and both give the
// same outcome.
TEST_F(ServerAsInProcess, FileUrisWithAHostReachNoNetwork) {
  Listener listener;
  if (!listener.listening()) GTEST_SKIP() << "port 21 of the loopback address cannot be had";
  const std::string remote = "file://127.0.0.1/x";
  const std::vector<std::string> tool = {XSLVALIDATE_EXE, "invoice.xml", "case.xsl"};
  struct Case {
    const char* name;
    std::string stylesheet;
    std::vector<std::string> argv;
  } cases[] = {
      {"a stylesheet's DOCTYPE",
       "<!DOCTYPE xsl:stylesheet SYSTEM '" + remote + ".dtd'>" + sheet("", "<r/>"), tool},
      {"a document's DOCTYPE", sheet("", "<r d='{doc(\"with-doctype.xml\")}'/>"), tool},
      {"doc()", sheet("", "<r d='{doc-available(\"" + remote + ".xml\")}'/>"), tool},
      {"unparsed-text()",
       sheet("", "<r d='{unparsed-text-available(\"" + remote + ".txt\")}'/>"), tool},
      {"xsl:include", sheet("<xsl:include href='" + remote + ".xsl'/>", "<r/>"), tool},
      {"a schema import",
       "",
       {LIBRARY_CALLER, "-s:invoice.xml", "-xsd:case.xsd", "-o:invoice_case.xml"}},
  };
  write(work_ + "/with-doctype.xml", "<!DOCTYPE x SYSTEM '" + remote + ".dtd'><x/>");
  write(work_ + "/case.xsd",
        "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema' targetNamespace='urn:a'>"
        "<xs:import namespace='urn:b' schemaLocation='" + remote + ".xsd'/></xs:schema>");
  ASSERT_EQ(0, runProcess({XSLVALIDATE_EXE, work_ + "/invoice.xml", kTotals}, environment(), dir_)
                   .exitCode);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write(work_ + "/case.xsl", c.stylesheet);
    const Outcome expected = run(c.argv, "off", {});
    EXPECT_FALSE(listener.connected()) << "in-process";
    expectSame(expected, run(c.argv, "on", {}));
    EXPECT_FALSE(listener.connected()) << "with the server";
  }
}

// Once the server has retired with no successor (one that fails to start,
// a switch for tests), a caller still connected has its next runs go
// elsewhere, never again to the retired server: to a server started
// anew, as connecting starts one when none listens, not into a JVM of its
// own.
TEST_F(ServerAsInProcess, RunLimitClosesAnOpenConnection) {
  std::vector<std::string> env = environment();
  env.push_back("XSLVALIDATE_SERVER_MAX_RUNS=2");
  env.push_back("XSLVALIDATE_SERVER_TEST_FAILING_SUCCESSOR=1");
  env.push_back("XSLVALIDATE_DEBUG=1");
  std::vector<std::string> argv = {XSLVALIDATE_EXE, "invoice.xml"};
  constexpr std::size_t kRuns = 20;
  for (std::size_t i = 0; i < kRuns; ++i) argv.push_back(i % 2 == 0 ? kTotals : kParties);
  const ProcessResult r = runProcess(argv, env, work_);
  EXPECT_EQ(0, r.exitCode) << r.err;
  EXPECT_EQ(std::string::npos, r.err.find("engine run in-process")) << r.err;
  // The server of each run, in order; a server once left is never back.
  const std::string onServer = "run on the engine server (process ";
  std::vector<long> servers;
  for (std::size_t at = 0; (at = r.err.find(onServer, at)) != std::string::npos; ++at)
    servers.push_back(std::atol(r.err.c_str() + at + onServer.size()));
  EXPECT_EQ(kRuns, servers.size()) << r.err;
  std::set<long> left;
  for (std::size_t i = 1; i < servers.size(); ++i) {
    if (servers[i] == servers[i - 1]) continue;
    left.insert(servers[i - 1]);
    EXPECT_EQ(0u, left.count(servers[i])) << "run " << i << " went back to a retired server";
  }
  EXPECT_FALSE(left.empty()) << r.err;
}

// SIGTERM to the server in the middle of a run: the run is stopped and its
// temporary report removed, as for a caller that went away, and the caller
// is told its run failed.
TEST_F(ServerAsInProcess, TerminatedServerLeavesNothing) {
  write(work_ + "/slow.xsl", kSlow);
  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, environment()).exitCode);
  ASSERT_EQ(1u, serverPids().size());
  const pid_t server = serverPids()[0];
  const RunningProcess caller =
      startProcess({XSLVALIDATE_EXE, "invoice.xml", "slow.xsl"}, environment(), work_);
  ASSERT_TRUE(waitFor([&] { return !temporaryFiles().empty(); }, 30)) << "the run began";
  kill(server, SIGTERM);
  const ProcessResult r = waitProcess(caller);
  EXPECT_EQ(2, r.exitCode);
  EXPECT_NE(std::string::npos, r.err.find("engine server ended")) << r.err;
  EXPECT_TRUE(waitFor([&] { return !alive(server); }, 10));
  EXPECT_TRUE(temporaryFiles().empty());
  EXPECT_FALSE(fs::exists(work_ + "/invoice_slow.xml"));
  EXPECT_TRUE(serverFiles(".sock").empty());
}

// A caller whose standard error is a pipe nobody reads, and one whose
// messages file is a FIFO nobody opens, beside callers writing messages of
// their own: those get, in time, what their in-process runs give.
TEST_F(ServerAsInProcess, ABlockedCallersOutputHoldsUpOnlyItsOwnRun) {
  write(work_ + "/loud.xsl",
        sheet("", "<xsl:for-each select='1 to 20000'><xsl:message>message <xsl:value-of "
                  "select='.'/> of many</xsl:message></xsl:for-each><r/>"));
  write(work_ + "/case.xsl", sheet("", "<xsl:message>a word</xsl:message><r/>"));
  ASSERT_EQ(0, mkfifo((work_ + "/fifo").c_str(), 0600));
  ASSERT_EQ(0, tool({"invoice.xml", kTotals}, environment()).exitCode);

  // The caller whose standard error fills up and is never read.
  int pipeEnds[2];
  ASSERT_EQ(0, pipe2(pipeEnds, O_CLOEXEC));
  std::vector<std::string> argv = {XSLVALIDATE_EXE, "invoice.xml", "loud.xsl"};
  std::vector<std::string> env = environment();
  const pid_t blocked = fork();
  if (blocked == 0) {
    dup2(pipeEnds[1], STDERR_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0) _exit(127);
    if (chdir(work_.c_str()) != 0) _exit(127);
    std::vector<char*> args, vars;
    for (std::string& a : argv) args.push_back(a.data());
    for (std::string& v : env) vars.push_back(v.data());
    args.push_back(nullptr);
    vars.push_back(nullptr);
    execve(args[0], args.data(), vars.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  ASSERT_TRUE(waitFor([&] {
    int queued = 0;
    return ioctl(pipeEnds[0], FIONREAD, &queued) == 0 && queued >= 60000;
  }, 60)) << "the first caller's standard error filled up";

  // The caller whose messages file blocks when opened.
  std::vector<std::string> fifoEnv = environment();
  fifoEnv.push_back("XSLVALIDATE_DEBUG=1");
  const RunningProcess fifo = startProcess(
      {LIBRARY_CALLER, "-s:invoice.xml", "-xsl:case.xsl", "-o:fifo_report.xml", "-err:fifo"},
      fifoEnv, work_);
  ASSERT_TRUE(waitFor([&] {
    return readFile(fifo.errPath).find("run on the engine server") != std::string::npos;
  }, 60)) << "the second caller's run started";

  const std::vector<std::string> callers[] = {
      {XSLVALIDATE_EXE, "invoice.xml", "case.xsl"},
      {LIBRARY_CALLER, "-s:invoice.xml", "-xsl:case.xsl", "-o:invoice_case.xml",
       "-err:messages.txt"},
  };
  for (const auto& caller : callers) {
    SCOPED_TRACE(caller[0]);
    // Untraced: in-process, the trace would go to the messages file.
    const Outcome expected = run(caller, "off", {}, false);
    const std::string expectedMessages = readFile(work_ + "/messages.txt");
    const RunningProcess served = startProcess(caller, environment(), work_);
    EXPECT_TRUE(waitFor([&] { return !alive(served.pid); }, 60)) << "held up";
    if (alive(served.pid)) kill(served.pid, SIGKILL);
    const Outcome got{waitProcess(served), readFile(work_ + "/invoice_case.xml")};
    fs::remove(work_ + "/invoice_case.xml");
    expectSame(expected, got);
    EXPECT_EQ(expectedMessages, readFile(work_ + "/messages.txt"));
  }

  kill(blocked, SIGKILL);
  waitpid(blocked, nullptr, 0);
  close(pipeEnds[0]);
  kill(fifo.pid, SIGKILL);
  waitProcess(fifo);
  const int reader = open((work_ + "/fifo").c_str(), O_RDONLY | O_NONBLOCK);  // lets the open end
  if (reader >= 0) close(reader);
}

}  // namespace
