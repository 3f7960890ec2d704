// The schema step through the engine library's calls, each case run twice
// from this one process: in-process (its own JVM) and through an engine
// server of the test's own runtime directory, which is stopped at the end.
// Both must write the same report bytes and status.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The two ways a caller reaches the engine.
struct Mode {
  const char* name;
  graal_isolatethread_t* thread;
};

fs::path gRoot;     // the suite's temporary folder
fs::path gRuntime;  // the runtime directory of the suite's engine server
std::vector<Mode> gModes;

// Makes the server connection first (the library reads the setting when
// the isolate is created), then the in-process JVM; at the end detaches
// both and stops the server.
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
    graal_isolate_t* isolate = nullptr;
    graal_isolatethread_t* server = nullptr;
    setenv("XSLVALIDATE_SERVER", "on", 1);
    ASSERT_EQ(graal_create_isolate(nullptr, &isolate, &server), 0);
    graal_isolatethread_t* local = nullptr;
    setenv("XSLVALIDATE_SERVER", "off", 1);
    ASSERT_EQ(graal_create_isolate(nullptr, &isolate, &local), 0);
    ASSERT_NE(server, local) << "no engine server could be had";
    gModes = {{"in-process", local}, {"server", server}};
  }
  void TearDown() override {
    for (const Mode& mode : gModes) graal_detach_thread(mode.thread);
    stopServers();
    fs::remove_all(gRoot);
  }

  // Ends every server of the suite's runtime directory, by the process ids
  // written beside their sockets, and waits until each is gone.
  static void stopServers() {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(gRuntime / "xslvalidate", error)) {
      if (entry.path().extension() != ".pid") continue;
      const pid_t pid = std::atoi(readFile(entry.path()).c_str());
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
    const long long data = createProcessorDataWithCapacity(mode.thread, 4);
    for (const std::string& option : options) {
      std::string copy = option;
      addProcessorProperty(mode.thread, data, copy.data());
    }
    return j_run_transform(mode.thread, data);
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

// A local port that accepts connections and counts them.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd_, 8);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { close(fd_); }
  int port() const { return port_; }
  // Whether a connection is waiting.
  bool reached() const {
    pollfd waiting{fd_, POLLIN, 0};
    return poll(&waiting, 1, 0) > 0;
  }

 private:
  int fd_;
  int port_ = 0;
};

TEST_F(SchemaStep, SchemasThatCannotBeHadFailTheRun) {
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
  EXPECT_FALSE(listener.reached()) << "the http import was fetched";
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

TEST_F(SchemaStep, AChangedSchemaFileIsReadAgain) {
  const fs::path schema = dir_ / "amount.xsd";
  const fs::path document = dir_ / "amount.xml";
  writeFile(document, "<amount>twelve</amount>");
  const std::string asText =
      "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
      "<xs:element name='amount' type='xs:string'/></xs:schema>";
  std::string asNumber = asText;
  asNumber.replace(asNumber.find("xs:string"), 9, "xs:decimal");
  ASSERT_EQ(asText.size() + 1, asNumber.size());
  for (const Mode& mode : gModes) {
    SCOPED_TRACE(mode.name);
    writeFile(schema, asText);
    EXPECT_EQ(validate(mode, document, {schema}).report, kValidReport);
    writeFile(schema, asNumber);
    const Outcome changed = validate(mode, document, {schema});
    EXPECT_NE(changed.report.find("valid=\"false\""), std::string::npos) << changed.report;
    EXPECT_NE(changed.report.find("twelve"), std::string::npos) << changed.report;
  }
}

// -err: takes every message of the run, transforms included, and nothing
// of a run without messages.
TEST_F(SchemaStep, MessagesGoToTheRunsOwnFile) {
  const fs::path stylesheet = dir_ / "says.xsl";
  writeFile(stylesheet,
            "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            "<xsl:template match='/'><xsl:message>said by the run</xsl:message><r/>"
            "</xsl:template></xsl:stylesheet>");
  for (const Mode& mode : gModes) {
    SCOPED_TRACE(mode.name);
    const fs::path messages = dir_ / (std::string(mode.name) + ".txt");
    writeFile(messages, "left from before\n");
    EXPECT_EQ(run(mode, {"-s:" + kUblInvoice.string(), "-xsl:" + stylesheet.string(),
                         "-o:" + (dir_ / "out.xml").string(), "-err:" + messages.string()}),
              0);
    EXPECT_EQ(readFile(messages), "said by the run\n");
    EXPECT_EQ(run(mode, {"-s:" + kUblInvoice.string(), "-xsd:" + kUblInvoiceSchema.string(),
                         "-o:" + (dir_ / "out.xml").string(), "-err:" + messages.string()}),
              0);
    EXPECT_EQ(readFile(messages), "");
    EXPECT_EQ(run(mode, {"-s:" + kUblInvoice.string(), "-xsd:" + kUblInvoiceSchema.string(),
                         "-err:" + (dir_ / "no/such/folder/m.txt").string(),
                         "-o:" + (dir_ / "out.xml").string()}),
              2);
  }
}

}  // namespace
