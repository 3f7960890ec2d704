// What no call can be made to read, on the real engine: a document's DTD
// and entities (a file, an http entity, an external DTD over http, billion
// laughs, a DOCTYPE in UTF-16) through every entry point, and a scenario
// configuration's reads outside its repository, on both engine routes.
// A secret file lies beside the calls; no byte of it may reach any output,
// and a listener on a loopback port stands for the network.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "process.h"

namespace {

namespace fs = std::filesystem;

const std::string kMarker = "secret-5f1e0c";
const std::string kPeppol = std::string(XSLVALIDATE_SHARED_DIR) +
                            "/configurations/peppol-bis-3.0.9/scenarios.xml";
// A call that takes longer than this is taken to have read what it must not.
constexpr auto kPrompt = std::chrono::seconds(30);

// A private folder with the secret in it, its own temporary folder and
// engine servers' runtime folder; the servers are stopped at the end.
struct Place {
  fs::path root;
  Place() {
    char name[] = "/tmp/xslvalidate-reads-test-XXXXXX";
    root = mkdtemp(name);
    for (const char* folder : {"tmp", "runtime", "outside"})
      fs::create_directories(root / folder);
    fs::permissions(root / "runtime", fs::perms::owner_all);
    put("outside/secret.txt", kMarker + "\n");
    put("outside/secret.xml", "<s>" + kMarker + "</s>\n");
  }
  ~Place() {
    runProcess({"/bin/bash", XSLVALIDATE_SOURCE_DIR "/tests/stop_servers.sh", at("runtime")},
               {"PATH=/usr/bin:/bin"});
    fs::remove_all(root);
  }
  std::string at(const std::string& relative) const { return (root / relative).string(); }
  std::string uri(const std::string& relative) const { return "file://" + at(relative); }
  void put(const std::string& relative, const std::string& content) const {
    fs::create_directories((root / relative).parent_path());
    std::ofstream(root / relative, std::ios::binary) << content;
  }
  std::vector<std::string> environment(bool server) const {
    return {"PATH=/usr/bin:/bin", std::string("XSLVALIDATE_SERVER=") + (server ? "on" : "off"),
            "TMPDIR=" + at("tmp"), "XDG_RUNTIME_DIR=" + at("runtime")};
  }
  // Every file under the place but the secrets, which hold the marker.
  std::vector<std::string> filesHolding(const std::string& text) const {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file() || entry.path().parent_path() == root / "outside")
        continue;
      if (readFile(entry.path().string()).find(text) != std::string::npos)
        found.push_back(entry.path().string());
    }
    return found;
  }
};

// A TCP listener on a loopback port that accepts nothing: a connection
// made to it waits in its queue, where arrived() finds it.
struct Listener {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  int port = 0;
  Listener() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        listen(fd, 64) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
      port = ntohs(address.sin_port);
    fcntl(fd, F_SETFL, O_NONBLOCK);
  }
  ~Listener() { close(fd); }
  bool arrived() const {
    const int connection = accept(fd, nullptr, nullptr);
    if (connection >= 0)
      close(connection);
    return connection >= 0;
  }
};

// A free port on the loopback address, for the service.
int freePort() {
  Listener probe;
  return probe.port;
}

const char kInvoiceOpen[] =
    "<Invoice xmlns=\"urn:oasis:names:specification:ubl:schema:xsd:Invoice-2\" "
    "xmlns:cbc=\"urn:oasis:names:specification:ubl:schema:xsd:CommonBasicComponents-2\">"
    "<cbc:CustomizationID>urn:cen.eu:en16931:2017#compliant#urn:fdc:peppol.eu:2017:poacc:"
    "billing:3.0</cbc:CustomizationID><cbc:Note>";
const char kInvoiceClose[] = "</cbc:Note></Invoice>\n";

// `text` as UTF-16LE with a byte order mark (ASCII text only).
std::string utf16(const std::string& text) {
  std::string bytes = "\xFF\xFE";
  for (char c : text) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

struct HostileDocument {
  std::string name;
  std::string bytes;
};

// The documents: each would bring the secret in, or reach the listener, or
// expand without end, if its DTD were read.
std::vector<HostileDocument> hostileDocuments(const Place& place, int port) {
  const std::string http = "http://127.0.0.1:" + std::to_string(port);
  const std::string fileEntity = "<?xml version=\"1.0\"?>\n<!DOCTYPE Invoice [<!ENTITY x SYSTEM \"" +
                                 place.uri("outside/secret.txt") + "\">]>\n" + kInvoiceOpen +
                                 "&x;" + kInvoiceClose;
  std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE Invoice [<!ENTITY l0 \"lol\">";
  for (int level = 1; level < 10; ++level) {
    laughs += "<!ENTITY l" + std::to_string(level) + " \"";
    for (int i = 0; i < 10; ++i)
      laughs += "&l" + std::to_string(level - 1) + ";";
    laughs += "\">";
  }
  laughs += "]>\n" + std::string(kInvoiceOpen) + "&l9;" + kInvoiceClose;
  std::string wide = fileEntity;
  wide.replace(0, wide.find('\n'), "<?xml version=\"1.0\" encoding=\"UTF-16\"?>");
  return {
      {"file-entity", fileEntity},
      {"http-dtd", "<?xml version=\"1.0\"?>\n<!DOCTYPE Invoice SYSTEM \"" + http +
                       "/invoice.dtd\">\n" + kInvoiceOpen + "x" + kInvoiceClose},
      {"http-entity", "<?xml version=\"1.0\"?>\n<!DOCTYPE Invoice [<!ENTITY x SYSTEM \"" + http +
                          "/x\">]>\n" + kInvoiceOpen + "&x;" + kInvoiceClose},
      {"billion-laughs", laughs},
      {"utf16-doctype", utf16(wide)},
  };
}

// One call: its result, and whether it ended within kPrompt.
struct Call {
  ProcessResult result;
  bool prompt = false;
};

Call timed(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
           const std::string& directory) {
  const auto start = std::chrono::steady_clock::now();
  Call call;
  call.result = runProcess(arguments, environment, directory);
  call.prompt = std::chrono::steady_clock::now() - start < kPrompt;
  return call;
}

// A rule set that copies the document into its report, once as its source
// and once more through doc() of the same file.
const char kCopyingRuleSet[] =
    "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
    "<xsl:template match='/'><copy><xsl:copy-of select='/'/>"
    "<xsl:copy-of select='doc(document-uri(/))'/></copy></xsl:template></xsl:stylesheet>";

// Every hostile document through xslvalidate with a rule set, the verdict
// on a released configuration, a batch of them all, and the service: each
// is refused, no output holds a byte of the secret, the listener sees no
// connection, and each call ends promptly.
TEST(HostileDocuments, NothingOfTheirDtdIsReadThroughAnyEntryPoint) {
  Place place;
  Listener listener;
  ASSERT_NE(0, listener.port);
  place.put("copy.xsl", kCopyingRuleSet);
  const std::vector<HostileDocument> documents = hostileDocuments(place, listener.port);
  for (const HostileDocument& document : documents)
    place.put("batch/" + document.name + ".xml", document.bytes);
  const std::vector<std::string> environment = place.environment(true);
  auto expectNothingRead = [&](const Call& call) {
    EXPECT_TRUE(call.prompt);
    EXPECT_EQ(std::string::npos, (call.result.out + call.result.err).find(kMarker))
        << call.result.out << call.result.err;
    EXPECT_EQ(std::vector<std::string>{}, place.filesHolding(kMarker));
  };

  for (const HostileDocument& document : documents) {
    SCOPED_TRACE(document.name);
    const std::string name = document.name + ".xml";
    place.put(name, document.bytes);
    const Call rules = timed({XSLVALIDATE_EXE, name, "copy.xsl"}, environment, place.at(""));
    EXPECT_EQ(2, rules.result.exitCode) << rules.result.err;
    EXPECT_NE(std::string::npos, rules.result.err.find("declares a DOCTYPE")) << rules.result.err;
    expectNothingRead(rules);

    const Call verdict = timed({VERDICT_EXE, "--json", "-s", kPeppol, name}, environment,
                               place.at(""));
    EXPECT_EQ(1, verdict.result.exitCode) << verdict.result.err;
    EXPECT_NE(std::string::npos, verdict.result.out.find("\"doctype-refused\""))
        << verdict.result.out;
    // The configuration's report of it, made of the verdict's own data.
    const std::string report = readFile(place.at(document.name + "-report.xml"));
    EXPECT_NE(std::string::npos, report.find("documentHash")) << report;
    EXPECT_NE(std::string::npos, report.find(name)) << report;
    expectNothingRead(verdict);
  }

  const Call batch = timed({VERDICT_EXE, "-s", kPeppol, "--report-dir", "out", "batch"},
                           environment, place.at(""));
  EXPECT_EQ(1, batch.result.exitCode) << batch.result.err;
  EXPECT_NE(std::string::npos,
            batch.result.out.find("documents: " + std::to_string(documents.size()) +
                                  " (accepted 0, rejected " + std::to_string(documents.size())))
      << batch.result.out;
  expectNothingRead(batch);

  const int port = freePort();
  RunningProcess service =
      startProcess({VERDICT_EXE, "--daemon", "-P", std::to_string(port), "-s", kPeppol},
                   environment, place.at(""));
  ASSERT_GT(service.pid, 0) << service.startError;
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  bool up = false;
  for (int i = 0; i < 600 && !up; ++i)
    up = runProcess({"/usr/bin/curl", "-s", "-f", "-o", "/dev/null", "--max-time", "2",
                     base + "/server/health"},
                    environment).exitCode == 0;
  EXPECT_TRUE(up);
  for (const HostileDocument& document : documents) {
    SCOPED_TRACE("service " + document.name);
    const Call answer = timed({"/usr/bin/curl", "-s", "-D", "-", "--max-time", "30",
                               "--data-binary", "@batch/" + document.name + ".xml",
                               base + "/" + document.name + ".xml"},
                              environment, place.at(""));
    EXPECT_NE(std::string::npos, answer.result.out.find(" 406 ")) << answer.result.out;
    EXPECT_NE(std::string::npos, answer.result.out.find("doctype-refused")) << answer.result.out;
    expectNothingRead(answer);
  }
  kill(service.pid, SIGTERM);
  const ProcessResult stopped = waitProcess(service);
  EXPECT_EQ(std::string::npos, (stopped.out + stopped.err).find(kMarker)) << stopped.err;
  EXPECT_FALSE(listener.arrived());
}

// A configuration in `repo` of one scenario: `match`, the rule set
// rules.xsl, the report stylesheet report.xsl and `acceptMatch` (none
// when empty).
std::string configuration(const std::string& match, const std::string& acceptMatch) {
  return "<scenarios xmlns=\"http://www.xoev.de/de/validator/framework/1/scenarios\">"
         "<name>Reads</name><scenario><name>One</name><match>" + match + "</match>"
         "<validateWithSchematron><resource><name>r</name><location>rules.xsl</location>"
         "</resource></validateWithSchematron><createReport><resource><name>report</name>"
         "<location>report.xsl</location></resource></createReport>" +
         (acceptMatch.empty() ? "" : "<acceptMatch>" + acceptMatch + "</acceptMatch>") +
         "</scenario></scenarios>\n";
}

// A rule set that finds nothing, with `extra` at its top level.
std::string ruleSet(const std::string& extra) {
  return "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
         " xmlns:svrl='http://purl.oclc.org/dsdl/svrl'>" + extra +
         "<xsl:template match='/'><svrl:schematron-output><svrl:fired-rule context='/'/>"
         "</svrl:schematron-output></xsl:template></xsl:stylesheet>";
}

// A report stylesheet that accepts, with `extra` in its report.
std::string reportStylesheet(const std::string& extra) {
  return "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'"
         " xmlns:rep='http://www.xoev.de/de/validator/varl/1'>"
         "<xsl:param name='input-document'/><xsl:template match='/'><rep:report valid='true'>"
         "<rep:assessment><rep:accept/></rep:assessment>" + extra +
         "</rep:report></xsl:template></xsl:stylesheet>";
}

// Each way a configuration could read outside its repository fails the
// call, names the refused file and puts nothing of it in any output, on
// the engine server and in-process alike; a read inside the repository
// works. On the server a rule set first compiled for a call by hand (which
// trusts it) is not reused for the configuration's narrower reads.
TEST(ConfigurationReads, NothingOutsideTheRepository) {
  struct Case {
    const char* name;
    std::string match, acceptMatch, rules, report;
    bool refused;
  };
  for (bool server : {true, false}) {
    Place place;
    const std::string text = place.uri("outside/secret.txt");
    place.put("outside/outside.xsl",
              "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
              "<xsl:variable name='outside' select=\"'" + kMarker + "'\"/></xsl:stylesheet>");
    place.put("repo/inside.txt", "inside\n");
    place.put("doc.xml", "<d/>\n");
    const std::string match = "exists(/d)";
    for (const Case& c : std::initializer_list<Case>{
             {"match raises an error with a text",
              "if (/d) then error(QName('urn:x', 'l'), unparsed-text('" + text +
                  "')) else false()",
              "", ruleSet(""), reportStylesheet(""), true},
             {"match tests a text", "contains(unparsed-text('" + text + "'), 'secret')", "",
              ruleSet(""), reportStylesheet(""), true},
             {"acceptMatch tests a text", match,
              "contains(unparsed-text('" + text + "'), 'secret')", ruleSet(""),
              reportStylesheet(""), true},
             {"rule set imports a stylesheet outside", match, "",
              ruleSet("<xsl:import href='" + place.uri("outside/outside.xsl") + "'/>"),
              reportStylesheet(""), true},
             {"report reads a document outside", match, "", ruleSet(""),
              reportStylesheet("<xsl:value-of select=\"doc('" + place.uri("outside/secret.xml") +
                               "')\"/>"),
              true},
             {"match reads a text inside",
              "contains(unparsed-text('" + place.uri("repo/inside.txt") + "'), 'inside')", "",
              ruleSet(""), reportStylesheet(""), false}}) {
      SCOPED_TRACE(std::string(server ? "engine server: " : "in-process: ") + c.name);
      place.put("repo/scenarios.xml", configuration(c.match, c.acceptMatch));
      place.put("repo/rules.xsl", c.rules);
      place.put("repo/report.xsl", c.report);
      const std::vector<std::string> environment = place.environment(server);
      // By hand the rule set is trusted and reads what it imports; on the
      // server this leaves its compile in the cache.
      const ProcessResult byHand =
          runProcess({XSLVALIDATE_EXE, "doc.xml", "repo/rules.xsl"}, environment, place.at(""));
      EXPECT_EQ(0, byHand.exitCode) << byHand.err;
      fs::remove(place.root / "doc_rules.xml");
      const Call call = timed({VERDICT_EXE, "--json", "-s", "repo/scenarios.xml", "doc.xml"},
                              environment, place.at(""));
      const ProcessResult& r = call.result;
      EXPECT_TRUE(call.prompt);
      EXPECT_EQ(std::string::npos, (r.out + r.err).find(kMarker)) << r.out << r.err;
      EXPECT_EQ(std::vector<std::string>{}, place.filesHolding(kMarker));
      if (c.refused) {
        EXPECT_NE(0, r.exitCode) << r.out << r.err;
        // The engine's messages wrap long lines.
        std::string said;
        for (char c : r.out + r.err)
          if (!std::isspace(static_cast<unsigned char>(c)) || (!said.empty() && said.back() != ' '))
            said += std::isspace(static_cast<unsigned char>(c)) ? ' ' : c;
        EXPECT_TRUE(said.find("Refused file:") != std::string::npos &&
                    said.find(place.at("outside/")) != std::string::npos)
            << said;
      } else {
        EXPECT_EQ(0, r.exitCode) << r.out << r.err;
      }
    }
  }
}

}  // namespace
