// xslvalidate-verdict over many documents in one call, on the real engine:
// folders and subfolders, a report folder for a read-only inbox, the mix of
// verdicts with its summary and status, JSON Lines, JUnit, shards, an
// interrupted batch, and the page in a real browser. Runs in-process
// (XSLVALIDATE_SERVER=off) unless a test says it starts its own server.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "process.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kFixtures = std::string(VERDICT_SOURCE_DIR) + "/testdata/";
const std::string kMarks = kFixtures + "marks.xsl";
const std::vector<std::string> kInProcess = {"PATH=/usr/bin:/bin", "XSLVALIDATE_SERVER=off"};

// A fresh folder, removed (made writable first) afterwards.
struct Tree {
  fs::path root;
  Tree() {
    char name[] = "/tmp/xslvalidate-batch-test-XXXXXX";
    root = mkdtemp(name);
  }
  ~Tree() {
    for (auto& e : fs::recursive_directory_iterator(root))
      if (e.is_directory()) fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(root);
  }
  void put(const std::string& relative, const std::string& text) const {
    fs::create_directories((root / relative).parent_path());
    std::ofstream(root / relative, std::ios::binary) << text;
  }
  // Every file below the root, relative, sorted.
  std::vector<std::string> files(const std::string& under = "") const {
    std::vector<std::string> names;
    for (auto& e : fs::recursive_directory_iterator(root / under))
      if (e.is_regular_file()) names.push_back(e.path().lexically_relative(root / under).string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

const char kOk[] = "<doc ok=\"yes\"/>\n";
const char kNotOk[] = "<doc ok=\"no\" why=\"&lt;b&gt;&amp;&lt;/b&gt;\"/>\n";
const char kBroken[] = "<doc ok=\"yes\">\n<unclosed>\n</doc>\n";

// inbox/a.xml accepted, inbox/b.xml rejected, inbox/sub/a.xml (same name
// as the first) accepted, inbox/sub/broken.xml rejected for not being XML.
void mixedInbox(const Tree& tree) {
  tree.put("inbox/a.xml", kOk);
  tree.put("inbox/b.xml", kNotOk);
  tree.put("inbox/sub/a.xml", kOk);
  tree.put("inbox/sub/broken.xml", kBroken);
}

ProcessResult verdict(std::vector<std::string> arguments, const std::string& directory,
                      std::vector<std::string> environment = kInProcess) {
  arguments.insert(arguments.begin(), VERDICT_EXE);
  return runProcess(arguments, environment, directory);
}

std::vector<json> jsonLines(const std::string& text) {
  std::vector<json> lines;
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(json::parse(line));
  return lines;
}

std::map<std::string, std::string> verdicts(const std::vector<json>& lines) {
  std::map<std::string, std::string> by;
  for (const json& line : lines) by[line["document"]] = line["verdict"];
  return by;
}

// A read-only inbox with a subfolder and two documents of the same name,
// reports in a report folder: every document once, in order, its reports
// mirrored under the report folder, nothing written to the inbox; the
// summary counts the mix and the status is that of the worst verdict.
TEST(VerdictBatch, ReadOnlyInboxWithSubfolderIntoReportFolder) {
  Tree tree;
  mixedInbox(tree);
  for (const char* folder : {"inbox/sub", "inbox"})
    fs::permissions(tree.root / folder, fs::perms::owner_write | fs::perms::group_write |
                    fs::perms::others_write, fs::perm_options::remove);
  ProcessResult r = verdict({"--json", "--jobs", "2", "--rules", kMarks, "--report-dir",
                             "out", "inbox"},
                            tree.root);
  EXPECT_EQ(1, r.exitCode) << r.err;
  std::vector<json> lines = jsonLines(r.out);
  ASSERT_EQ(4u, lines.size()) << r.out;
  std::vector<std::string> order;
  for (const json& line : lines) order.push_back(line["document"]);
  EXPECT_EQ((std::vector<std::string>{"inbox/a.xml", "inbox/b.xml", "inbox/sub/a.xml",
                                      "inbox/sub/broken.xml"}),
            order);
  EXPECT_EQ("accepted", lines[0]["verdict"]);
  EXPECT_EQ("rejected", lines[1]["verdict"]);
  EXPECT_EQ("OK-1", lines[1]["ruleSets"][0]["findings"][0]["id"]);
  EXPECT_EQ("out/b_marks.xml", lines[1]["ruleSets"][0]["report"]);
  EXPECT_EQ("accepted", lines[2]["verdict"]);
  EXPECT_EQ("rejected", lines[3]["verdict"]);
  EXPECT_EQ("not-well-formed", lines[3]["reasonCode"]);
  EXPECT_FALSE(lines[3]["reason"].get<std::string>().empty());
  EXPECT_EQ((std::vector<std::string>{"a_marks.xml", "b_marks.xml", "sub/a_marks.xml"}),
            tree.files("out"));
  EXPECT_EQ((std::vector<std::string>{"a.xml", "b.xml", "sub/a.xml", "sub/broken.xml"}),
            tree.files("inbox"));
  EXPECT_NE(std::string::npos,
            r.err.find("documents: 4 (accepted 2, rejected 2, no verdict 0)\n"
                       "rejected most often by: OK-1 (1 document), not-well-formed (1 document)\n"))
      << r.err;
}

// Statuses over the whole call, and the summary after the text output; a
// call that finds no document at all checked nothing, which is no success.
TEST(VerdictBatch, StatusAndSummaryFollowTheMix) {
  Tree tree;
  mixedInbox(tree);
  fs::create_directories(tree.root / "empty");
  struct Case { std::vector<std::string> documents; int status; const char* summary; };
  for (const Case& c : std::initializer_list<Case>{
           {{"inbox/b.xml", "inbox/sub"}, 1, "documents: 3 (accepted 1, rejected 2, no verdict 0)\n"
                                            "rejected most often by: OK-1 (1 document), "
                                            "not-well-formed (1 document)\n"},
           {{"inbox/a.xml", "inbox/b.xml"}, 1, "documents: 2 (accepted 1, rejected 1, no verdict 0)\n"
                                             "rejected most often by: OK-1 (1 document)\n"},
           {{"inbox/sub"}, 1, "documents: 2 (accepted 1, rejected 1, no verdict 0)\n"
                              "rejected most often by: not-well-formed (1 document)\n"},
           {{"empty"}, 3, ""}}) {
    // A folder's documents and one named by itself: each folder's reports
    // under the report folder as the folder lays them out.
    std::vector<std::string> arguments = {"--rules", kMarks, "-o", "out"};
    arguments.insert(arguments.end(), c.documents.begin(), c.documents.end());
    ProcessResult r = verdict(arguments, tree.root);
    SCOPED_TRACE(c.documents[0]);
    EXPECT_EQ(c.status, r.exitCode) << r.err;
    if (*c.summary == '\0') {
      EXPECT_EQ("", r.out);
      EXPECT_NE(std::string::npos, r.err.find("no document to check")) << r.err;
      continue;
    }
    ASSERT_GE(r.out.size(), std::string(c.summary).size()) << r.out;
    EXPECT_EQ(c.summary, r.out.substr(r.out.size() - std::string(c.summary).size()));
  }
  // Without -o the reports go to the current folder, where two documents
  // of one name would share report names: refused before anything runs.
  ProcessResult same = verdict({"--rules", kMarks, "inbox/a.xml", "inbox/sub/a.xml"}, tree.root);
  EXPECT_EQ(2, same.exitCode) << same.err;
  EXPECT_NE(std::string::npos, same.err.find("would have the same report names in .")) << same.err;
  EXPECT_FALSE(fs::exists(tree.root / "a_marks.xml"));
}

// Through an engine server of the test's own, each worker on a connection
// of its own: the same results as in-process; the server is stopped after.
TEST(VerdictBatch, ThroughTheEngineServerAsInProcess) {
  Tree tree;
  mixedInbox(tree);
  fs::create_directories(tree.root / "runtime");
  fs::permissions(tree.root / "runtime", fs::perms::owner_all);
  const std::vector<std::string> arguments = {"--json", "--jobs", "2", "--rules", kMarks,
                                              "--report-dir", "out", "inbox"};
  ProcessResult here = verdict(arguments, tree.root);
  ProcessResult served = verdict(arguments, tree.root,
                                 {"PATH=/usr/bin:/bin", "XSLVALIDATE_SERVER=on",
                                  "XDG_RUNTIME_DIR=" + (tree.root / "runtime").string()});
  const bool serverStarted = !fs::is_empty(tree.root / "runtime");
  runProcess({"/bin/bash", XSLVALIDATE_SOURCE_DIR "/tests/stop_servers.sh",
              (tree.root / "runtime").string()},
             {"PATH=/usr/bin:/bin"});
  EXPECT_TRUE(serverStarted);
  EXPECT_EQ(1, served.exitCode) << served.err;
  std::vector<json> inProcess = jsonLines(here.out), throughServer = jsonLines(served.out);
  ASSERT_EQ(4u, throughServer.size()) << served.out;
  // The broken document's fault is said by where the parser stopped, on
  // both paths alike (compared below).
  ASSERT_TRUE(throughServer[3]["parserError"].is_object()) << throughServer[3];
  EXPECT_GT(throughServer[3]["parserError"]["line"].get<long long>(), 0);
  for (size_t i = 0; i < inProcess.size(); ++i) {
    // The messages may differ in wording; the outcome may not.
    inProcess[i].erase("engineMessages");
    throughServer[i].erase("engineMessages");
    EXPECT_EQ(inProcess[i], throughServer[i]);
  }
}

// The progress line shows only when standard error is a terminal: under
// `script`, which gives the call one, and never in the other tests' pipes.
TEST(VerdictBatch, ProgressLineOnlyOnATerminal) {
  if (!fs::exists("/usr/bin/script")) GTEST_SKIP() << "script is not installed";
  Tree tree;
  mixedInbox(tree);
  const std::string command = std::string(VERDICT_EXE) + " --jobs 1 --rules " + kMarks + " inbox";
  ProcessResult terminal = runProcess({"/usr/bin/script", "-qec", command, "/dev/null"},
                                      kInProcess, tree.root);
  EXPECT_NE(std::string::npos, terminal.out.find("\r1 of 4 checked: accepted 1, rejected 0"))
      << terminal.out;
  EXPECT_NE(std::string::npos, terminal.out.find("\r4 of 4 checked: "));
  ProcessResult piped = verdict({"--jobs", "1", "--rules", kMarks, "inbox"}, tree.root);
  EXPECT_EQ(std::string::npos, piped.err.find(" checked: ")) << piped.err;
  EXPECT_EQ(std::string::npos, piped.out.find(" checked: "));
}

// This tool's outputs written into the walked folder by one call (SVRL
// reports, the JUnit file, a validation report) are not taken for documents
// by the next, and a report folder inside it is not entered. What a file
// is named never decides: a real invoice named like another's report is
// checked, and where a report would overwrite a document the call is
// refused before anything is written, naming both.
TEST(VerdictBatch, FolderWalkTakesDocumentsByContentNeverByName) {
  Tree tree;
  tree.put("inbox/a.xml", kOk);
  tree.put("inbox/b.xml", kNotOk);
  tree.put("inbox/b-report.xml", "<rep:report xmlns:rep=\"http://www.xoev.de/de/validator/varl/1\"/>");
  for (int round = 0; round < 2; ++round) {
    ProcessResult r = verdict(
        {"--json", "--rules", kMarks, "-o", "inbox", "--junit", "inbox/junit.xml", "inbox"},
        tree.root);
    EXPECT_EQ(2u, jsonLines(r.out).size()) << "round " << round << r.out << r.err;
  }
  const std::vector<std::string> inside = {"--json", "--rules", kMarks, "--report-dir",
                                           "inbox/reports", "inbox"};
  ProcessResult first = verdict(inside, tree.root);
  ProcessResult again = verdict(inside, tree.root);
  EXPECT_EQ(2u, jsonLines(first.out).size()) << first.out;
  EXPECT_EQ(2u, jsonLines(again.out).size()) << again.out;

  // An invoice named like a.xml's report: checked, and the clash refused.
  tree.put("inbox/a_marks.xml", kOk);
  ProcessResult clash = verdict({"--rules", kMarks, "-o", "inbox", "inbox"}, tree.root);
  EXPECT_EQ(2, clash.exitCode) << clash.err;
  EXPECT_NE(std::string::npos,
            clash.err.find("the report inbox/a_marks.xml of inbox/a.xml would overwrite the "
                           "document inbox/a_marks.xml"))
      << clash.err;
  EXPECT_EQ(kOk, readFile((tree.root / "inbox/a_marks.xml").string()));
  ProcessResult apart = verdict({"--json", "--rules", kMarks, "--report-dir", "out", "inbox"},
                                tree.root);
  EXPECT_EQ(3u, jsonLines(apart.out).size()) << apart.out << apart.err;
  EXPECT_EQ(kOk, readFile((tree.root / "inbox/a_marks.xml").string()));
}

// What the engine writes about each document is kept with it, in JSON
// and JUnit; on standard error a rule set's compile warning, the same for
// every document, shows once, and a document's own parse error shows.
TEST(VerdictBatch, EngineMessagesKeptPerDocumentAndWarningsShownOnce) {
  Tree tree;
  tree.put("inbox/a.xml", kOk);
  tree.put("inbox/b.xml", kOk);
  tree.put("inbox/c.xml", kBroken);
  ProcessResult r = verdict({"--json", "--rules", kFixtures + "warns.xsl", "--junit",
                             "junit.xml", "inbox"},
                            tree.root);
  EXPECT_EQ(1, r.exitCode) << r.err;
  std::vector<json> lines = jsonLines(r.out);
  ASSERT_EQ(3u, lines.size()) << r.out;
  for (size_t i = 0; i < 2; ++i)  // c.xml is refused before the rule set runs
    EXPECT_NE(std::string::npos, lines[i]["engineMessages"].get<std::string>().find("SXWN9001"))
        << lines[i];
  // The broken document is said once, by where the parser stopped; the
  // runs' own texts of the same error are not repeated.
  EXPECT_TRUE(lines[2]["engineMessages"].is_null()) << lines[2];
  EXPECT_GT(lines[2]["parserError"]["line"].get<long long>(), 0) << lines[2];
  const size_t first = r.err.find("SXWN9001");
  EXPECT_NE(std::string::npos, first) << r.err;
  EXPECT_EQ(std::string::npos, r.err.find("SXWN9001", first + 1)) << r.err;
  EXPECT_EQ(std::string::npos, r.err.find("SXXP0003")) << r.err;
  EXPECT_NE(std::string::npos,
            readFile((tree.root / "junit.xml").string()).find("could not be read as XML (line "));
}

TEST(VerdictBatch, UsageErrorsBeforeAnyRun) {
  Tree tree;
  tree.put("one/a.xml", kOk);
  tree.put("two/a.xml", kOk);
  struct Case { std::vector<std::string> arguments; const char* error; };
  for (const Case& c : std::initializer_list<Case>{
           {{"--rules", kMarks, "--shard", "2/2", "one"}, "--shard"},
           {{"--rules", kMarks, "--jobs", "0", "one"}, "--jobs"},
           {{"--rules", kMarks, "--report-dir", "out", "one/a.xml", "two/a.xml"},
            "one/a.xml and two/a.xml"},
           {{"--rules", kMarks, "nothing"}, "does not exist: nothing"},
           {{"--rules", kMarks}, "expected"}}) {
    ProcessResult r = verdict(c.arguments, tree.root);
    SCOPED_TRACE(c.error);
    EXPECT_EQ(2, r.exitCode);
    EXPECT_EQ("", r.out);
    EXPECT_NE(std::string::npos, r.err.find(c.error)) << r.err;
  }
  EXPECT_EQ((std::vector<std::string>{"one/a.xml", "two/a.xml"}), tree.files());
  ProcessResult version = verdict({"--version"}, tree.root);
  EXPECT_EQ(0, version.exitCode);
  EXPECT_EQ(0u, version.out.rfind("xslvalidate-verdict ", 0)) << version.out;
}

// N shards, each its own call, check every document exactly once, with
// the verdicts of one unsharded call.
TEST(VerdictBatch, ShardsTogetherAreTheUnshardedCall) {
  Tree tree;
  for (int i = 0; i < 7; ++i)
    tree.put("inbox/d" + std::to_string(i) + ".xml", i % 3 == 0 ? kNotOk : kOk);
  tree.put("inbox/sub/broken.xml", kBroken);
  ProcessResult whole = verdict({"--json", "--rules", kMarks, "inbox"}, tree.root);
  std::map<std::string, std::string> unsharded = verdicts(jsonLines(whole.out));
  ASSERT_EQ(8u, unsharded.size());
  std::map<std::string, std::string> together;
  for (int index = 0; index < 3; ++index) {
    ProcessResult r = verdict({"--json", "--shard", std::to_string(index) + "/3", "--rules",
                               kMarks, "--junit", "shard" + std::to_string(index) + ".xml",
                               "inbox"},
                              tree.root);
    for (const auto& [document, verdict] : verdicts(jsonLines(r.out)))
      EXPECT_TRUE(together.emplace(document, verdict).second) << document << " twice";
    EXPECT_TRUE(fs::exists(tree.root / ("shard" + std::to_string(index) + ".xml")));
  }
  EXPECT_EQ(unsharded, together);
}

// JUnit: one test case per document, rejected as failure (with the reason
// code, and the engine's reason for a document that is not XML), in the
// shape CI servers read.
TEST(VerdictBatch, JUnitFileForCiServers) {
  Tree tree;
  mixedInbox(tree);
  ProcessResult r = verdict({"--rules", kMarks, "--report-dir", "out", "--junit",
                             "reports/junit.xml", "inbox"},
                            tree.root);
  EXPECT_EQ(1, r.exitCode) << r.err;
  const std::string junit = (tree.root / "reports/junit.xml").string();
  ProcessResult valid = runProcess({"/usr/bin/xmllint", "--noout", "--schema",
                                    kFixtures + "junit.xsd", junit}, kInProcess);
  EXPECT_EQ(0, valid.exitCode) << valid.err;
  auto xpath = [&](const std::string& expression) {
    std::string out = runProcess({"/usr/bin/xmllint", "--xpath", expression, junit}, kInProcess).out;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  };
  EXPECT_EQ("4", xpath("string(//testsuite/@tests)"));
  EXPECT_EQ("2", xpath("string(//testsuite/@failures)"));
  EXPECT_EQ("0", xpath("string(//testsuite/@errors)"));
  EXPECT_EQ("inbox/b.xml", xpath("string(//testcase[failure][1]/@name)"));
  // The finding's place is its line and column, followed on the document.
  EXPECT_NE(std::string::npos,
            xpath("string(//failure)").find("fatal OK-1 at line 1, column 46: The "
                                            "document says it is not ok: <b>&</b>"));
  EXPECT_EQ("OK-1: The document says it is not ok: <b>&</b> (line 1, column 46)",
            xpath("string(//testcase[@name='inbox/b.xml']/failure/@message)"));
  const std::string broken = "//testcase[@name='inbox/sub/broken.xml']/failure";
  EXPECT_NE(std::string::npos, xpath("string(" + broken + "/@message)").find("[not-well-formed]"));
  EXPECT_NE(std::string::npos, xpath("string(" + broken + ")").find("(line 3, column 3)"));
}

}  // namespace

namespace {

const std::string kShared = XSLVALIDATE_SHARED_DIR;
const size_t kUblInvoices = [] {
  size_t n = 0;
  for (auto& e : fs::directory_iterator(kShared + "/invoices/ubl")) n += e.is_regular_file();
  return n;
}();

// Ctrl-C in the middle of a batch over shared invoices, in-process and
// through an engine server of the test's own: the call ends by the signal,
// every report and page there is whole, no JUnit file is begun, and no
// temporary file or scratch folder is left.
TEST(VerdictBatch, InterruptedBatchLeavesNoPartialOrTemporaryFile) {
  for (bool server : {false, true}) {
    SCOPED_TRACE(server ? "engine server" : "in-process");
    Tree tree;
    for (int copy = 0; copy < 3; ++copy)
      for (auto& e : fs::directory_iterator(kShared + "/invoices/ubl"))
        tree.put("inbox/" + std::to_string(copy) + "/" + e.path().filename().string(),
                 readFile(e.path().string()));
    fs::create_directories(tree.root / "tmp");
    fs::create_directories(tree.root / "runtime");
    fs::permissions(tree.root / "runtime", fs::perms::owner_all);
    std::vector<std::string> environment = {"PATH=/usr/bin:/bin",
                                            "TMPDIR=" + (tree.root / "tmp").string()};
    environment.push_back(server ? "XSLVALIDATE_SERVER=on" : "XSLVALIDATE_SERVER=off");
    environment.push_back("XDG_RUNTIME_DIR=" + (tree.root / "runtime").string());
    RunningProcess run = startProcess(
        {VERDICT_EXE, "--jobs", "2", "--rules", kShared + "/rules/PEPPOL-EN16931-UBL.xslt",
         "--report-dir", "out", "--pages", "pages", "--junit", "junit.xml", "inbox"},
        environment, tree.root.string());
    ASSERT_GT(run.pid, 0) << run.startError;
    bool begun = false;
    for (int i = 0; i < 1200 && !begun; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
      begun = fs::exists(tree.root / "pages") && !fs::is_empty(tree.root / "pages");
    }
    kill(run.pid, SIGINT);
    ProcessResult r = waitProcess(run);
    runProcess({"/bin/bash", XSLVALIDATE_SOURCE_DIR "/tests/stop_servers.sh",
                (tree.root / "runtime").string()},
               {"PATH=/usr/bin:/bin"});
    ASSERT_TRUE(begun) << r.err;
    EXPECT_EQ(SIGINT, r.signal) << "exit code " << r.exitCode << ": " << r.err;
    EXPECT_FALSE(fs::exists(tree.root / "junit.xml"));
    EXPECT_TRUE(fs::is_empty(tree.root / "tmp")) << tree.files("tmp").front();
    size_t reports = 0;
    for (const std::string& name : tree.files("out")) {
      SCOPED_TRACE(name);
      const std::string file = fs::path(name).filename().string();
      EXPECT_TRUE(file[0] != '.' && file.find("_PEPPOL-EN16931-UBL.") != std::string::npos);
      ProcessResult whole = runProcess({"/usr/bin/xmllint", "--noout",
                                        (tree.root / "out" / name).string()}, kInProcess);
      EXPECT_EQ(0, whole.exitCode) << whole.err;
      ++reports;
    }
    EXPECT_GT(reports, 0u);
    EXPECT_LT(reports, 3 * kUblInvoices) << "the batch was not interrupted";
    for (const std::string& name : tree.files("pages")) {
      EXPECT_TRUE(name.ends_with(".xml.html") || name.ends_with(".XML.html")) << name;
      EXPECT_TRUE(readFile((tree.root / "pages" / name).string()).ends_with("</html>\n")) << name;
    }
  }
}

}  // namespace

namespace {

// Counts the connections made to a port on the loopback address while it
// lives: a page that loads anything from there shows up in `count`.
struct Listener {
  int fd = -1;
  int port = 0;
  std::atomic<int> count{0};
  std::atomic<bool> stop{false};
  std::thread thread;
  Listener() {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    listen(fd, 16);
    thread = std::thread([this] {
      while (!stop) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 50) > 0) {
          const int client = accept(fd, nullptr, nullptr);
          if (client >= 0) {
            ++count;
            close(client);
          }
        }
      }
    });
  }
  ~Listener() {
    stop = true;
    thread.join();
    close(fd);
  }
};

// Loads `page` in headless Chromium: its DOM after loading, and a
// screenshot at `screenshot`.
ProcessResult chromium(const Tree& tree, const std::string& page, const std::string& flag) {
  return runProcess({"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu",
                     "--user-data-dir=" + (tree.root / "profile").string(),
                     "--window-size=1000,700", flag, "file://" + page},
                    {"PATH=/usr/bin:/bin", "HOME=" + tree.root.string()});
}

// The page a clerk sends on: rendered by a real browser, with a finding
// whose message holds markup that would load from a local listener if it
// reached the page as markup. A control page that does load from there
// shows that the listener would notice.
TEST(VerdictBatch, HtmlPageRendersInABrowserAndLoadsNothing) {
  if (!fs::exists("/usr/bin/chromium")) GTEST_SKIP() << "chromium is not installed";
  Tree tree;
  Listener listener;
  const std::string origin = "http://127.0.0.1:" + std::to_string(listener.port);
  tree.put("control.html", "<!DOCTYPE html><img src=\"" + origin + "/control.png\">");
  ProcessResult control = chromium(tree, (tree.root / "control.html").string(), "--dump-dom");
  ASSERT_EQ(0, control.exitCode) << control.err;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_GT(listener.count.load(), 0) << "the control page's load went unnoticed";
  listener.count = 0;

  const std::string markup = "<img src=\"" + origin + "/img.png\"><script src=\"" + origin +
                             "/s.js\"></script><link rel=\"stylesheet\" href=\"" + origin +
                             "/s.css\">";
  std::string escaped;
  for (char c : markup)
    escaped += c == '<' ? "&lt;" : c == '>' ? "&gt;" : c == '"' ? "&quot;" : std::string(1, c);
  tree.put("inbox/bad.xml", "<doc ok=\"no\" why=\"" + escaped + "\"/>\n");
  ProcessResult r = verdict({"--rules", kMarks, "--pages", "pages", "inbox/bad.xml"}, tree.root);
  ASSERT_EQ(1, r.exitCode) << r.err;
  const std::string page = (tree.root / "pages/bad.xml.html").string();
  ProcessResult dom = chromium(tree, page, "--dump-dom");
  ASSERT_EQ(0, dom.exitCode) << dom.err;
  EXPECT_NE(std::string::npos, dom.out.find("<h1 class=\"rejected\">Rejected</h1>")) << dom.out;
  EXPECT_NE(std::string::npos, dom.out.find(">OK-1</td>")) << dom.out;
  EXPECT_NE(std::string::npos, dom.out.find("&lt;img src=\"" + origin)) << dom.out;
  for (const char* element : {"<img", "<script", "<link"})
    EXPECT_EQ(std::string::npos, dom.out.find(element)) << element;
  const std::string shot = (tree.root / "page.png").string();
  ProcessResult screenshot = chromium(tree, page, "--screenshot=" + shot);
  ASSERT_EQ(0, screenshot.exitCode) << screenshot.err;
  EXPECT_EQ("\x89PNG", readFile(shot).substr(0, 4));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(0, listener.count.load());
}

// Where `needle` starts in `text`: its line and the column just after the
// '>' that ends its start tag (1-based), as the parser reports an
// element's position.
std::pair<long long, long long> elementPosition(const std::string& text,
                                                const std::string& needle) {
  const size_t at = text.find(needle);
  const size_t close = text.find('>', at);
  const size_t lineStart = text.rfind('\n', at) + 1;
  return {std::count(text.begin(), text.begin() + at, '\n') + 1,
          static_cast<long long>(close - lineStart) + 2};
}

// The supplier's page under a released configuration: a copy of one of its
// test invoices broken against a business rule, one broken against the XML
// Schema, and a file that is not XML. Each finding is placed by line and
// column as the document has it, the invoice is identified, the rule sets
// are headed by the configuration's names, and no page shows a server path
// or an exception. The screenshot is kept in the build tree to look at.
TEST(VerdictBatch, SupplierPageShowsIdentificationAndFindingsByLine) {
  if (!fs::exists("/usr/bin/chromium")) GTEST_SKIP() << "chromium is not installed";
  const std::string configuration = kShared + "/configurations/peppol-bis-3.0.18";
  const std::string good = readFile(configuration + "/test-files/good/ubl/base-example.xml");
  ASSERT_FALSE(good.empty());
  Tree tree;
  std::string rule = good;
  rule.replace(rule.find("<cbc:InvoiceTypeCode>380"), 24, "<cbc:InvoiceTypeCode>999");
  tree.put("inbox/rule.xml", rule);
  std::string schema = good;
  schema.insert(schema.find("<cbc:DueDate>"), "<cbc:Bogus>1</cbc:Bogus>\n    ");
  tree.put("inbox/schema.xml", schema);
  tree.put("inbox/garbage.xml", "this is not XML at all\n");
  ProcessResult r = verdict({"--scenarios", configuration + "/scenarios.xml", "--pages", "pages",
                             "--report-dir", "out", "inbox"},
                            tree.root);
  ASSERT_EQ(1, r.exitCode) << r.out << r.err;

  struct Page {
    std::string name;
    std::vector<std::string> shows;
  };
  const auto [ruleLine, ruleColumn] = elementPosition(rule, "<cbc:InvoiceTypeCode>");
  const auto [schemaLine, schemaColumn] = elementPosition(schema, "<cbc:Bogus>");
  const std::vector<std::string> identity = {
      "<dd>Snippet1</dd>", "<dd>2017-11-13</dd>", "<dd>SupplierOfficialName Ltd</dd>",
      "<dd>Buyer Official Name</dd>", "<dd>1656.25 EUR</dd>"};
  std::vector<Page> pages = {
      {"rule.xml",
       {"<h1 class=\"rejected\">Rejected</h1>", "<code class=\"reason-code\">rule-findings</code>",
        "<h2>Rules: Schematron rules for EN16931 (UBL)</h2>", ">BR-CL-01</td>",
        "<td data-label=\"Line\" class=\"line\">" + std::to_string(ruleLine) + "</td>" +
            "<td data-label=\"Column\" class=\"column\">" + std::to_string(ruleColumn) + "</td>",
        "<td data-label=\"Value\" class=\"value\">999</td>"}},
      {"schema.xml",
       {"<code class=\"reason-code\">schema-invalid</code>", "<h2>XML Schema</h2>",
        "<td data-label=\"Line\" class=\"line\">" + std::to_string(schemaLine) + "</td>"}},
      {"garbage.xml",
       {"<h1 class=\"rejected\">Rejected</h1>", "<code class=\"reason-code\">not-well-formed</code>",
        "not well-formed XML", "stopped at line 1, column 1"}},
  };
  for (std::string line : identity) {
    pages[0].shows.push_back(line);
    pages[1].shows.push_back(line);
  }
  for (const Page& page : pages) {
    const std::string file = (tree.root / "pages" / (page.name + ".html")).string();
    ProcessResult dom = chromium(tree, file, "--dump-dom");
    ASSERT_EQ(0, dom.exitCode) << dom.err;
    for (const std::string& shown : page.shows)
      EXPECT_NE(std::string::npos, dom.out.find(shown)) << page.name << ": " << shown << "\n"
                                                         << dom.out;
    for (const std::string& hidden :
         {tree.root.string(), kShared, std::string("Exception"), std::string("java"),
          std::string("/inbox/"), std::string(".xslt")})
      EXPECT_EQ(std::string::npos, dom.out.find(hidden)) << page.name << ": " << hidden;
    const std::string shot = std::string(VERDICT_SCREENSHOT_DIR) + "/supplier-" + page.name + ".png";
    ProcessResult screenshot = chromium(tree, file, "--screenshot=" + shot);
    ASSERT_EQ(0, screenshot.exitCode) << screenshot.err;
    EXPECT_EQ("\x89PNG", readFile(shot).substr(0, 4));
  }
  // The verdict's own line says the same, once.
  EXPECT_NE(std::string::npos,
            r.out.find("garbage.xml: the document could not be read as XML (line 1, column 1)"))
      << r.out;
}

}  // namespace
