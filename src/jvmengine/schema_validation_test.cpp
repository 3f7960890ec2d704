// The schema step through the engine library's calls, each case run twice
// from this one process: in-process (its own JVM) and through an engine
// server of the test's own runtime directory, which is stopped at the end;
// each from a thread of its own, as the library keeps one session a thread.
// Both must write the same report bytes and status.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine_api.h"

namespace fs = std::filesystem;

namespace {

const fs::path kShared = JVMENGINE_SHARED_DIR;
const fs::path kUblInvoiceSchema = kShared / "schemas/ubl-2.1/maindoc/UBL-Invoice-2.1.xsd";
const fs::path kUblCreditNoteSchema = kShared / "schemas/ubl-2.1/maindoc/UBL-CreditNote-2.1.xsd";
const fs::path kCiiSchema = kShared / "schemas/cii-d16b/CrossIndustryInvoice_100pD16B.xsd";
const fs::path kUblInvoice = kShared / "invoices/ubl/ubl-tc434-example1.xml";
const fs::path kUblCreditNote = kShared / "invoices/ubl/ubl-tc434-creditnote1.xml";
const fs::path kCiiInvoice = kShared / "invoices/cii/CII_example1.xml";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Waits until the last change of `path` (its change time, which no call
// sets back) is more than the 3 s after which the engine server trusts a
// file's status instead of reading it again (SourceFiles.java); false
// when its status cannot be had.
bool waitUntilSettled(const fs::path& path) {
  for (;;) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return false;
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const auto age = std::chrono::seconds(now.tv_sec - status.st_ctim.tv_sec) +
                     std::chrono::nanoseconds(now.tv_nsec - status.st_ctim.tv_nsec);
    if (age > std::chrono::milliseconds(3200)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(3200) - age);
  }
}

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A thread of its own that holds one engine session (the library keeps a
// session per thread) and makes the calls handed to it.
class Caller {
 public:
  // Starts the thread and opens its session with XSLVALIDATE_SERVER set to
  // `setting` (read when the session opens); false when it cannot be had.
  bool open(const char* setting) {
    thread_ = std::thread([this] { serve(); });
    return onThread([&] {
      setenv("XSLVALIDATE_SERVER", setting, 1);
      graal_isolate_t* isolate = nullptr;
      return graal_create_isolate(nullptr, &isolate, &handle_) == 0 ? 1 : 0;
    }) == 1;
  }

  // One run with `options` on the session.
  int run(const std::vector<std::string>& options) {
    return onThread([&] {
      const long long data = createProcessorDataWithCapacity(handle_, 4);
      for (const std::string& option : options) {
        std::string copy = option;  // the call takes char*
        addProcessorProperty(handle_, data, copy.data());
      }
      return j_run_transform(handle_, data);
    });
  }

  // Closes the session and ends the thread.
  void close() {
    if (!thread_.joinable()) return;
    onThread([&] { return graal_detach_thread(handle_); });
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

 private:
  int onThread(std::function<int()> task) {
    std::unique_lock lock(mutex_);
    task_ = std::move(task);
    done_ = false;
    changed_.notify_all();
    changed_.wait(lock, [&] { return done_; });
    return result_;
  }

  void serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return quit_ || task_; });
      if (!task_) return;
      std::function<int()> task = std::move(task_);
      task_ = nullptr;
      lock.unlock();
      const int result = task();
      lock.lock();
      result_ = result;
      done_ = true;
      changed_.notify_all();
    }
  }

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<int()> task_;
  bool done_ = false;
  bool quit_ = false;
  int result_ = 0;
  graal_isolatethread_t* handle_ = nullptr;
};

// The two ways a caller reaches the engine.
struct Mode {
  const char* name;
  Caller* caller;
};

fs::path gRoot;     // the suite's temporary folder
fs::path gRuntime;  // the runtime directory of the suite's engine server
Caller gServerCaller, gLocalCaller;
std::vector<Mode> gModes;

// Any engine server's process-id files in the suite's runtime directory.
std::vector<fs::path> serverPidFiles() {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(gRuntime / "xslvalidate", error)) {
    if (entry.path().extension() == ".pid") files.push_back(entry.path());
  }
  return files;
}

// Opens a session through the engine server (starting it) and one in this
// process; at the end closes both and stops the server.
class Modes : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "schema-step-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    gRoot = pattern;
    gRuntime = gRoot / "runtime";
    fs::create_directory(gRuntime);
    fs::permissions(gRuntime, fs::perms::owner_all, fs::perm_options::replace);
    setenv("XDG_RUNTIME_DIR", gRuntime.c_str(), 1);
    unsetenv("XSLVALIDATE_DEBUG");
    unsetenv("XSLVALIDATE_MAX_HEAP");
    ASSERT_TRUE(gServerCaller.open("on"));
    ASSERT_FALSE(serverPidFiles().empty()) << "no engine server could be had";
    ASSERT_TRUE(gLocalCaller.open("off"));
    gModes = {{"in-process", &gLocalCaller}, {"server", &gServerCaller}};
  }
  void TearDown() override {
    gServerCaller.close();
    gLocalCaller.close();
    stopServers();
    fs::remove_all(gRoot);
  }

  // Ends every server of the suite's runtime directory, by the process ids
  // written beside their sockets, and waits until each is gone.
  static void stopServers() {
    for (const fs::path& file : serverPidFiles()) {
      const pid_t pid = std::atoi(readFile(file).c_str());
      if (pid <= 0 || kill(pid, SIGTERM) != 0) continue;
      for (int i = 0; i < 100 && kill(pid, 0) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    }
  }
};

const ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new Modes);

// What one run left: its status, its report (empty when none) and its
// messages (the -err: file).
struct Outcome {
  int status = -1;
  bool reportWritten = false;
  std::string report;
  std::string messages;
};

class SchemaStep : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = gRoot / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(dir_);
  }

  // Runs the schema step on `document` against `schemas` in `mode`, with
  // its messages in a file.
  Outcome validate(const Mode& mode, const fs::path& document,
                   const std::vector<fs::path>& schemas) {
    const fs::path report = dir_ / (std::string(mode.name) + "-report.xml");
    const fs::path messages = dir_ / (std::string(mode.name) + "-messages.txt");
    fs::remove(report);
    std::vector<std::string> options = {"-s:" + document.string()};
    for (const fs::path& schema : schemas) options.push_back("-xsd:" + schema.string());
    options.push_back("-o:" + report.string());
    options.push_back("-err:" + messages.string());
    Outcome outcome;
    outcome.status = run(mode, options);
    outcome.reportWritten = fs::exists(report);
    if (outcome.reportWritten) outcome.report = readFile(report);
    outcome.messages = readFile(messages);
    return outcome;
  }

  static int run(const Mode& mode, const std::vector<std::string>& options) {
    return mode.caller->run(options);
  }

  // Runs in both modes; expects the same status, report and messages from
  // each, and returns the in-process outcome.
  Outcome validateBothWays(const fs::path& document, const std::vector<fs::path>& schemas) {
    const Outcome local = validate(gModes[0], document, schemas);
    const Outcome server = validate(gModes[1], document, schemas);
    EXPECT_EQ(local.status, server.status);
    EXPECT_EQ(local.report, server.report);
    EXPECT_EQ(local.messages, server.messages);
    return local;
  }

  // A copy of `from` in the test's folder with `find` replaced by
  // `replacement` (once; the text must be there).
  fs::path editedCopy(const fs::path& from, const std::string& name, const std::string& find,
                      const std::string& replacement) {
    std::string text = readFile(from);
    const std::size_t at = text.find(find);
    EXPECT_NE(at, std::string::npos) << find;
    if (at != std::string::npos) text.replace(at, find.size(), replacement);
    const fs::path path = dir_ / name;
    writeFile(path, text);
    return path;
  }

  fs::path dir_;
};

const char kValidReport[] =
    "<schema-report xmlns=\"urn:xslvalidate:schema-report\" valid=\"true\">\n</schema-report>\n";

struct ValidCase {
  const char* what;
  fs::path document;
  std::vector<fs::path> schemas;
};

TEST_F(SchemaStep, SchemaValidDocumentsGiveAnEmptyValidReport) {
  const ValidCase cases[] = {
      {"UBL invoice", kUblInvoice, {kUblInvoiceSchema}},
      {"CII invoice", kCiiInvoice, {kCiiSchema}},
      // Schemas taken together: each document finds its root's declaration.
      {"UBL credit note, two schemas", kUblCreditNote, {kUblInvoiceSchema, kUblCreditNoteSchema}},
      {"UBL invoice, two schemas", kUblInvoice, {kUblInvoiceSchema, kUblCreditNoteSchema}},
  };
  for (const ValidCase& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome outcome = validateBothWays(c.document, c.schemas);
    EXPECT_EQ(outcome.status, 0) << outcome.messages;
    EXPECT_EQ(outcome.report, kValidReport);
    EXPECT_EQ(outcome.messages, "");
  }
}

// A finding's attributes and message, from the report's one finding.
struct Finding {
  std::string severity, line, column, message;
};

std::string attribute(const std::string& element, const std::string& name) {
  const std::string start = " " + name + "=\"";
  const std::size_t at = element.find(start);
  if (at == std::string::npos) return "";
  const std::size_t from = at + start.size();
  return element.substr(from, element.find('"', from) - from);
}

std::vector<Finding> findingsOf(const std::string& report) {
  std::vector<Finding> findings;
  for (std::size_t at = report.find("<finding "); at != std::string::npos;
       at = report.find("<finding ", at + 1)) {
    const std::size_t close = report.find('>', at);
    const std::size_t end = report.find("</finding>", close);
    const std::string start = report.substr(at, close - at);
    findings.push_back({attribute(start, "severity"), attribute(start, "line"),
                        attribute(start, "column"), report.substr(close + 1, end - close - 1)});
  }
  return findings;
}

// An invalid or unreadable document: the step is done (status 0), the
// report says invalid and holds exactly the expected finding.
struct InvalidCase {
  const char* what;
  const char* find;         // in the UBL invoice
  std::string replacement;  // what it becomes
  const char* severity;
  const char* line;
  const char* messagePart;  // of the first finding
  std::size_t findings;     // as many as the validator reports
};

TEST_F(SchemaStep, InvalidDocumentsGiveTheirFindingWithLineAndColumn) {
  std::string bindings = "<Invoice";
  for (int i = 0; i <= 1000; ++i) bindings += " xmlns:p" + std::to_string(i) + "='urn:p'";
  const InvalidCase cases[] = {
      {"an element the schema does not allow", "<cbc:IssueDate>",
       "<cbc:Unexpected>1</cbc:Unexpected>\n<cbc:IssueDate>", "error", "17", "Unexpected", 1},
      {"a value of the wrong type", "<cbc:IssueDate>2015-01-09", "<cbc:IssueDate>yesterday",
       "error", "17", "yesterday", 2},
      {"not well-formed", "</Invoice>", "</Invoic>", "fatal", "", "Invoic", 1},
      {"a DOCTYPE", "<Invoice ", "<!DOCTYPE Invoice [<!ENTITY e 'x'>]>\n<Invoice ", "fatal", "7",
       "DOCTYPE", 1},
      {"too many namespace bindings", "<Invoice", bindings, "fatal", "7", "namespace bindings", 1},
  };
  for (const InvalidCase& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path document = editedCopy(kUblInvoice, "invoice.xml", c.find, c.replacement);
    const Outcome outcome = validateBothWays(document, {kUblInvoiceSchema});
    EXPECT_EQ(outcome.status, 0) << outcome.messages;
    EXPECT_NE(outcome.report.find(" valid=\"false\">"), std::string::npos) << outcome.report;
    const std::vector<Finding> findings = findingsOf(outcome.report);
    ASSERT_EQ(findings.size(), c.findings) << outcome.report;
    EXPECT_EQ(findings[0].severity, c.severity) << outcome.report;
    EXPECT_NE(findings[0].message.find(c.messagePart), std::string::npos) << outcome.report;
    EXPECT_NE(findings[0].column, "0") << outcome.report;
    if (*c.line) {
      EXPECT_EQ(findings[0].line, c.line) << outcome.report;
    } else {
      EXPECT_NE(findings[0].line, "0") << outcome.report;
    }
  }
}

TEST_F(SchemaStep, ADocumentOfAnotherKindIsInvalid) {
  const Outcome outcome = validateBothWays(kUblCreditNote, {kUblInvoiceSchema});
  EXPECT_EQ(outcome.status, 0);
  const std::vector<Finding> findings = findingsOf(outcome.report);
  ASSERT_EQ(findings.size(), 1u) << outcome.report;
  EXPECT_EQ(findings[0].severity, "error");
  EXPECT_NE(findings[0].message.find("'CreditNote'"), std::string::npos) << outcome.report;
}

// A local port that takes every connection, counts it and closes it at
// once, so that a fetch fails fast instead of waiting for an answer.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd_, 8);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    taker_ = std::thread([this] {
      while (!done_) {
        pollfd waiting{fd_, POLLIN, 0};
        if (poll(&waiting, 1, 50) <= 0) continue;
        const int connection = accept(fd_, nullptr, nullptr);
        if (connection < 0) continue;
        ++taken_;
        close(connection);
      }
    });
  }
  ~Listener() {
    done_ = true;
    taker_.join();
    close(fd_);
  }
  int port() const { return port_; }
  // Connections taken so far, and one still waiting to be taken.
  int taken() const {
    pollfd waiting{fd_, POLLIN, 0};
    return taken_ + (poll(&waiting, 1, 0) > 0 ? 1 : 0);
  }

 private:
  int fd_;
  int port_ = 0;
  std::atomic<bool> done_{false};
  std::atomic<int> taken_{0};
  std::thread taker_;
};

TEST_F(SchemaStep, SchemasThatCannotBeHadFailTheRunAndNothingIsFetched) {
  const Listener listener;
  ASSERT_GT(listener.port(), 0);
  const fs::path http = dir_ / "imports-http.xsd";
  writeFile(http,
            "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema' targetNamespace='urn:a'>\n"
            "<xs:import namespace='urn:b' schemaLocation='http://127.0.0.1:" +
                std::to_string(listener.port()) + "/b.xsd'/>\n"
                "<xs:element name='a' type='xs:string'/></xs:schema>\n");
  const fs::path broken = dir_ / "broken.xsd";
  writeFile(broken, "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
                    "<xs:element name='a' type='no-such-type'/></xs:schema>");
  const struct {
    const char* what;
    std::vector<fs::path> schemas;
    std::string messagePart;
  } cases[] = {
      {"missing", {kUblInvoiceSchema, dir_ / "missing.xsd"},
       "Schema file " + (dir_ / "missing.xsd").string() + " does not exist"},
      {"a directory", {dir_}, "is not a regular file"},
      {"an import over http", {http}, "is not a local file: schemas are read only from local"},
      {"an error in the schema", {broken}, "broken.xsd line 1 column"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome outcome = validateBothWays(kUblInvoice, c.schemas);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_FALSE(outcome.reportWritten);
    EXPECT_NE(outcome.messages.find(c.messagePart), std::string::npos) << outcome.messages;
    EXPECT_EQ(std::count(outcome.messages.begin(), outcome.messages.end(), '\n'), 1)
        << outcome.messages;
  }
  EXPECT_EQ(listener.taken(), 0) << "the http import was fetched";
  // The document's own schema hint is not followed either.
  const fs::path local = dir_ / "a.xsd";
  writeFile(local, "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema' targetNamespace='urn:a'>"
                   "<xs:element name='a' type='xs:string'/></xs:schema>");
  const fs::path hinting = dir_ / "a.xml";
  writeFile(hinting, "<a xmlns='urn:a' xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance'"
                     " xsi:schemaLocation='urn:a http://127.0.0.1:" +
                         std::to_string(listener.port()) + "/a.xsd'>text</a>");
  EXPECT_EQ(validateBothWays(hinting, {local}).report, kValidReport);
  EXPECT_EQ(listener.taken(), 0) << "something was fetched";
}

TEST_F(SchemaStep, AMissingOrOddDocumentFailsTheRun) {
  const Outcome missing = validateBothWays(dir_ / "missing.xml", {kUblInvoiceSchema});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.messages.find("missing.xml does not exist"), std::string::npos)
      << missing.messages;
  const Outcome directory = validateBothWays(dir_, {kUblInvoiceSchema});
  EXPECT_EQ(directory.status, 2);
  EXPECT_NE(directory.messages.find("is a directory"), std::string::npos) << directory.messages;
}

// Changed right after the run that compiled it, or long after, with its
// size and modification time kept as they were: either way the next run
// reads the schema file again.
TEST_F(SchemaStep, AChangedSchemaFileIsReadAgain) {
  const fs::path document = dir_ / "amount.xml";
  writeFile(document, "<amount>twelve</amount>");
  const std::string asText =
      "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
      "<xs:element name='amount' type='xs:string'/></xs:schema>";
  std::string asNumber = asText;
  asNumber.replace(asNumber.find("xs:string"), 9, "xs:double");
  const auto expectInvalid = [&](const Mode& mode, const fs::path& schema) {
    const Outcome changed = validate(mode, document, {schema});
    EXPECT_NE(changed.report.find("valid=\"false\""), std::string::npos) << changed.report;
    EXPECT_NE(changed.report.find("twelve"), std::string::npos) << changed.report;
  };
  // Written first, so that it settles while the fresh file is checked.
  const fs::path settled = dir_ / "settled.xsd";
  writeFile(settled, asText);
  const fs::path fresh = dir_ / "fresh.xsd";
  for (const Mode& mode : gModes) {
    SCOPED_TRACE(mode.name);
    writeFile(fresh, asText);
    EXPECT_EQ(validate(mode, document, {fresh}).report, kValidReport);
    writeFile(fresh, asNumber);
    expectInvalid(mode, fresh);
  }
  // A file whose last change is some seconds old is not read again while
  // its status stays the same; a write changes the status all the same.
  ASSERT_TRUE(waitUntilSettled(settled));
  for (const Mode& mode : gModes) {
    EXPECT_EQ(validate(mode, document, {settled}).report, kValidReport) << mode.name;
  }
  const auto stamp = fs::last_write_time(settled);
  writeFile(settled, asNumber);
  fs::last_write_time(settled, stamp);
  ASSERT_EQ(fs::file_size(settled), asText.size());
  // Checked once the change itself is a few seconds old too.
  ASSERT_TRUE(waitUntilSettled(settled));
  for (const Mode& mode : gModes) {
    SCOPED_TRACE(mode.name);
    expectInvalid(mode, settled);
  }
}

// -err: takes every message of the run, transforms included, and nothing
// of a run without messages.
TEST_F(SchemaStep, MessagesGoToTheRunsOwnFile) {
  const fs::path stylesheet = dir_ / "says.xsl";
  // Compiling it gives a warning, which a reused compile writes again.
  writeFile(stylesheet,
            "<xsl:stylesheet version='3.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
            " xmlns:f='urn:f' xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
            "<xsl:function name='f:one' as='xs:integer'><xsl:value-of select='1'/></xsl:function>"
            "<xsl:template match='/'><xsl:message>said by the run</xsl:message><r n='{f:one()}'/>"
            "</xsl:template></xsl:stylesheet>");
  std::string first;
  for (const Mode& mode : gModes) {
    SCOPED_TRACE(mode.name);
    const fs::path messages = dir_ / (std::string(mode.name) + ".txt");
    for (int time = 0; time < 2; ++time) {
      writeFile(messages, "left from before\n");
      EXPECT_EQ(run(mode, {"-s:" + kUblInvoice.string(), "-xsl:" + stylesheet.string(),
                           "-o:" + (dir_ / "out.xml").string(), "-err:" + messages.string()}),
                0);
      const std::string text = readFile(messages);
      EXPECT_NE(text.find("SXWN9000"), std::string::npos) << time << ": " << text;
      EXPECT_NE(text.find("said by the run\n"), std::string::npos) << time << ": " << text;
      EXPECT_EQ(text.find("left from before"), std::string::npos) << text;
      if (first.empty()) first = text;
      EXPECT_EQ(text, first) << time;
    }
    EXPECT_EQ(run(mode, {"-s:" + kUblInvoice.string(), "-xsd:" + kUblInvoiceSchema.string(),
                         "-o:" + (dir_ / "out.xml").string(), "-err:" + messages.string()}),
              0);
    EXPECT_EQ(readFile(messages), "");
    // An option the engine refuses before the JVM has a part in the run.
    EXPECT_EQ(run(mode, {"-s:" + kUblInvoice.string() + "\xff", "-xsd:" + kUblInvoiceSchema.string(),
                         "-o:" + (dir_ / "out.xml").string(), "-err:" + messages.string()}),
              2);
    EXPECT_NE(readFile(messages).find("is not valid UTF-8"), std::string::npos)
        << readFile(messages);
    EXPECT_EQ(run(mode, {"-s:" + kUblInvoice.string(), "-xsd:" + kUblInvoiceSchema.string(),
                         "-err:" + (dir_ / "no/such/folder/m.txt").string(),
                         "-o:" + (dir_ / "out.xml").string()}),
              2);
  }
}

}  // namespace
