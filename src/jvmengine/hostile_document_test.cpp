// Hostile source documents and whole reports, through the engine library's
// five calls in the one test process (see jvm_engine_test.cpp, whose global
// environment creates the JVM before any test here runs).
//
// The source document is parsed as input from outside: no DOCTYPE, no
// external entity or DTD, no nesting beyond a fixed depth. Every refused
// document fails its run with a reason, leaves no report and no temporary
// file, and leaves the engine usable. Reports appear at their path whole or
// not at all.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/engine_api.h"

namespace fs = std::filesystem;

namespace {

const fs::path kTestdata = JVMENGINE_TESTDATA;
const fs::path kHostile = kTestdata / "hostile";
const char kSecret[] = "SECRET-e7c1";  // the first words of hostile/secret.txt

// Deepest nesting the engine accepts in a source document.
constexpr int kMaxDepth = 10000;

// Most distinct namespace bindings (prefix and URI pairs) it accepts.
constexpr int kMaxNamespaceBindings = 1000;

// An <invoice> of `count` elements made by `element(i)`, with one item.
std::string manyElements(int count, const std::function<std::string(int)>& element) {
  std::string text = "<invoice><item>1</item>";
  for (int i = 0; i < count; ++i) text += element(i);
  return text + "</invoice>";
}

// One start tag declaring `count` prefixes, each to a URI of its own.
std::string prefixesOnOneElement(int count) {
  std::string text = "<invoice";
  for (int i = 0; i < count; ++i)
    text += " xmlns:p" + std::to_string(i) + "=\"urn:x" + std::to_string(i) + "\"";
  return text + "><item>1</item></invoice>";
}

// Each sibling binds the default namespace to a URI of its own.
std::string ownDefaultNamespaces(int count) {
  return manyElements(count, [](int i) {
    return "<e xmlns=\"urn:x" + std::to_string(i) + "\"/>";
  });
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::set<std::string> entriesOf(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    names.insert(fs::relative(entry.path(), dir).string());
  return names;
}

// A document nested `depth` elements deep, with one item at the bottom.
std::string nestedDocument(int depth) {
  std::string text;
  text.reserve(static_cast<size_t>(depth) * 7 + 64);
  for (int i = 1; i < depth; ++i) text += "<a>";
  text += "<item>1</item>";
  for (int i = 1; i < depth; ++i) text += "</a>";
  return text;
}

// One entity of 100,000 characters referenced 100,000 times: 10^10
// characters once expanded, from half a megabyte of text.
std::string quadraticBlowUp() {
  const std::string big(100000, 'x');
  std::string text = "<!DOCTYPE invoice [<!ENTITY big \"" + big + "\">]>\n<invoice><item>";
  for (int i = 0; i < 100000; ++i) text += "&big;";
  return text + "</item></invoice>\n";
}

// A TCP socket listening on the loopback interface: the address a hostile
// document names, to tell whether anything connected to it.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(fd_, 4) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      ADD_FAILURE() << "cannot listen on the loopback interface";
      return;
    }
    port_ = ntohs(address.sin_port);
  }
  ~Listener() {
    if (fd_ >= 0) close(fd_);
  }
  int port() const { return port_; }
  // True if a connection is waiting to be accepted.
  bool wasContacted() const {
    pollfd waiting{fd_, POLLIN, 0};
    return poll(&waiting, 1, 0) > 0;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

class HostileDocumentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A second create hands back the one JVM and this thread's handle.
    graal_isolate_t* isolate = nullptr;
    ASSERT_EQ(graal_create_isolate(nullptr, &isolate, &thread_), 0);
    std::string pattern = (fs::temp_directory_path() / "hostile-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    fs::create_directories(dir_ / "in");
    fs::create_directories(dir_ / "out");
  }
  void TearDown() override { fs::remove_all(dir_); }

  struct Run {
    int status;
    std::string errors;
    double seconds;
  };

  Run run(const fs::path& input, const fs::path& stylesheet, const fs::path& report,
          const std::vector<std::string>& more = {}) {
    std::vector<std::string> options = {"-s:" + input.string(), "-xsl:" + stylesheet.string(),
                                        "-o:" + report.string()};
    options.insert(options.end(), more.begin(), more.end());
    const long long data = createProcessorDataWithCapacity(thread_, static_cast<int>(options.size()));
    for (std::string& option : options)
      addProcessorProperty(thread_, data, option.data());
    ::testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    const int status = j_run_transform(thread_, data);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {status, ::testing::internal::GetCapturedStderr(), took.count()};
  }

  // A plain invoice through report.xsl must still work.
  void expectWorkingRun() {
    const fs::path input = dir_ / "in/ok.xml";
    fs::copy_file(kTestdata / "invoice.xml", input, fs::copy_options::overwrite_existing);
    const fs::path report = dir_ / "ok_report.xml";
    const Run after = run(input, kTestdata / "report.xsl", report);
    EXPECT_EQ(after.status, 0) << after.errors;
    EXPECT_EQ(readFile(report), reportOf("ok.xml"));
    fs::remove(report);
  }

  static std::string reportOf(const std::string& fileName) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><report source=\"" + fileName +
           "\" items=\"2\"/>";
  }

  graal_isolatethread_t* thread_ = nullptr;
  fs::path dir_;
};

struct HostileCase {
  const char* what;
  // Makes the document in `in` (or names a fixture) and returns its path.
  std::function<fs::path(const fs::path& in, const Listener& listener)> document;
  const char* message;  // part of what standard error must say
};

const char kNoDoctype[] = "declares a DOCTYPE";

fs::path fixture(const char* name) { return kHostile / name; }

class HostileDocumentCaseTest : public HostileDocumentTest,
                                public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileDocumentCaseTest, FailsWithItsReasonAndLeavesNothingBehind) {
  Listener listener;
  const fs::path input = GetParam().document(dir_ / "in", listener);
  const fs::path report = dir_ / "out/report.xml";

  const Run refused = run(input, kTestdata / "report.xsl", report);

  EXPECT_NE(refused.status, 0);
  EXPECT_NE(refused.errors.find(GetParam().message), std::string::npos) << refused.errors;
  EXPECT_EQ(refused.errors.find(kSecret), std::string::npos) << refused.errors;
  EXPECT_TRUE(entriesOf(dir_ / "out").empty()) << "no report and no temporary file";
  EXPECT_FALSE(listener.wasContacted()) << "the document's URL was connected to";
  std::printf("[  timing  ] %s: failed after %.3f s\n", GetParam().what, refused.seconds);
  expectWorkingRun();
}

INSTANTIATE_TEST_SUITE_P(
    Documents, HostileDocumentCaseTest,
    ::testing::Values(
        HostileCase{"external_entity_to_a_local_file",
                    [](const fs::path&, const Listener&) { return fixture("external_entity.xml"); },
                    kNoDoctype},
        HostileCase{"external_dtd",
                    [](const fs::path&, const Listener&) { return fixture("external_dtd.xml"); },
                    kNoDoctype},
        HostileCase{"external_parameter_entity",
                    [](const fs::path&, const Listener&) {
                      return fixture("parameter_entity.xml");
                    },
                    kNoDoctype},
        HostileCase{"external_entity_over_the_network",
                    [](const fs::path& in, const Listener& listener) {
                      const fs::path path = in / "network_entity.xml";
                      writeFile(path, "<!DOCTYPE invoice [<!ENTITY e SYSTEM \"http://127.0.0.1:" +
                                          std::to_string(listener.port()) +
                                          "/secret\">]>\n<invoice><item>&e;</item></invoice>\n");
                      return path;
                    },
                    kNoDoctype},
        HostileCase{"nested_entity_expansion",
                    [](const fs::path&, const Listener&) {
                      return fixture("nested_expansion.xml");
                    },
                    kNoDoctype},
        HostileCase{"quadratic_blow_up",
                    [](const fs::path& in, const Listener&) {
                      const fs::path path = in / "quadratic.xml";
                      writeFile(path, quadraticBlowUp());
                      return path;
                    },
                    kNoDoctype},
        HostileCase{"doctype_without_entities",
                    [](const fs::path&, const Listener&) {
                      return fixture("internal_doctype.xml");
                    },
                    kNoDoctype},
        HostileCase{"a_million_levels_deep",
                    [](const fs::path& in, const Listener&) {
                      const fs::path path = in / "deep.xml";
                      writeFile(path, nestedDocument(1000000));
                      return path;
                    },
                    "more than 10000 levels deep"},
        HostileCase{"siblings_each_with_a_default_namespace_of_its_own",
                    [](const fs::path& in, const Listener&) {
                      const fs::path path = in / "default_namespaces.xml";
                      writeFile(path, ownDefaultNamespaces(20000));
                      return path;
                    },
                    "more than 1000 distinct namespace bindings"},
        HostileCase{"one_element_with_many_prefixes",
                    [](const fs::path& in, const Listener&) {
                      const fs::path path = in / "prefixes.xml";
                      writeFile(path, prefixesOnOneElement(20000));
                      return path;
                    },
                    "more than 1000 distinct namespace bindings"},
        HostileCase{"one_prefix_bound_to_ever_new_uris",
                    [](const fs::path& in, const Listener&) {
                      const fs::path path = in / "rebound_prefix.xml";
                      writeFile(path, manyElements(1001, [](int i) {
                                  return "<p:e xmlns:p=\"urn:x" + std::to_string(i) + "\"/>";
                                }));
                      return path;
                    },
                    "more than 1000 distinct namespace bindings"},
        HostileCase{"not_xml_at_all",
                    [](const fs::path&, const Listener&) { return fixture("not_xml.xml"); },
                    "Content is not allowed in prolog"},
        HostileCase{"empty_file",
                    [](const fs::path&, const Listener&) { return fixture("empty.xml"); },
                    "Premature end of file"}),
    [](const ::testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.what); });

// Encodings that real documents arrive in are read as before.
TEST_F(HostileDocumentTest, DocumentsInUtf16OrWithAByteOrderMarkValidate) {
  for (const char* name : {"utf16.xml", "utf8_bom.xml"}) {
    const fs::path report = dir_ / "out" / (std::string(name) + "_report.xml");
    const Run ok = run(kHostile / name, kTestdata / "report.xsl", report);
    EXPECT_EQ(ok.status, 0) << name << ": " << ok.errors;
    EXPECT_EQ(readFile(report), reportOf(name));
  }
}

TEST_F(HostileDocumentTest, NestingUpToTheLimitIsAcceptedAndOneLevelMoreIsNot) {
  writeFile(dir_ / "in/at_limit.xml", nestedDocument(kMaxDepth));
  writeFile(dir_ / "in/over_limit.xml", nestedDocument(kMaxDepth + 1));

  const Run atLimit = run(dir_ / "in/at_limit.xml", kTestdata / "report.xsl",
                          dir_ / "out/at_limit_report.xml");
  EXPECT_EQ(atLimit.status, 0) << atLimit.errors;
  EXPECT_NE(readFile(dir_ / "out/at_limit_report.xml").find("items=\"1\""), std::string::npos);

  const Run overLimit = run(dir_ / "in/over_limit.xml", kTestdata / "report.xsl",
                            dir_ / "out/over_limit_report.xml");
  EXPECT_NE(overLimit.status, 0);
  EXPECT_NE(overLimit.errors.find("more than 10000 levels deep"), std::string::npos)
      << overLimit.errors;
  EXPECT_FALSE(fs::exists(dir_ / "out/over_limit_report.xml"));
}

// Namespace bindings count once each, however often they are declared
// again: real documents repeat theirs freely, and up to the limit any
// shape is accepted; one binding more is refused.
TEST_F(HostileDocumentTest, NamespaceBindingsUpToTheLimitAreAcceptedAndOneMoreIsNot) {
  struct Case {
    const char* what;
    std::string document;
    bool accepted;
  };
  const Case cases[] = {
      {"the same three bindings on 20,000 siblings",
       manyElements(20000, [](int) {
         return std::string("<e xmlns=\"urn:a\" xmlns:b=\"urn:b\" xmlns:c=\"urn:c\"/>");
       }),
       true},
      {"100,000 distinct element names",
       manyElements(100000, [](int i) { return "<e" + std::to_string(i) + "/>"; }), true},
      {"as many distinct bindings as the limit", ownDefaultNamespaces(kMaxNamespaceBindings),
       true},
      {"one more", ownDefaultNamespaces(kMaxNamespaceBindings + 1), false},
  };
  for (const Case& c : cases) {
    writeFile(dir_ / "in/doc.xml", c.document);
    const fs::path report = dir_ / "out/doc_report.xml";
    const Run result = run(dir_ / "in/doc.xml", kTestdata / "report.xsl", report);
    if (c.accepted) {
      EXPECT_EQ(result.status, 0) << c.what << ": " << result.errors;
      EXPECT_NE(readFile(report).find("items=\"1\""), std::string::npos) << c.what;
    } else {
      EXPECT_NE(result.status, 0) << c.what;
      EXPECT_NE(result.errors.find("more than 1000 distinct namespace bindings"),
                std::string::npos)
          << c.what << ": " << result.errors;
      EXPECT_FALSE(fs::exists(report)) << c.what;
    }
    fs::remove(report);
  }
}

// The parser checks each declaration of a start tag against the tag's
// earlier ones, so counting only once the tag is scanned would come after
// time quadratic in their number (some 20 s for 100,000); counted while
// the parser scans, the document is refused at the limit.
TEST_F(HostileDocumentTest, ManyDeclarationsInOneStartTagAreRefusedWhileTheParserScansIt) {
  writeFile(dir_ / "in/prefixes.xml", prefixesOnOneElement(100000));
  const Run refused = run(dir_ / "in/prefixes.xml", kTestdata / "report.xsl",
                          dir_ / "out/report.xml");
  EXPECT_NE(refused.status, 0);
  EXPECT_NE(refused.errors.find("more than 1000 distinct namespace bindings"), std::string::npos)
      << refused.errors;
  EXPECT_LT(refused.seconds, 8.0);
  EXPECT_TRUE(entriesOf(dir_ / "out").empty());
}

// Documents a stylesheet loads itself are trusted and keep their DTD.
TEST_F(HostileDocumentTest, StylesheetsStillReadDocumentsWithDtds) {
  const fs::path sheet = dir_ / "in/reads_dtd.xsl";
  writeFile(sheet,
            "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            "<xsl:template match='/'><trusted text=\"{doc('" +
                (kHostile / "external_entity.xml").string() +
                "')//item[1]}\"/></xsl:template></xsl:stylesheet>");
  const Run ok = run(kTestdata / "invoice.xml", sheet, dir_ / "out/trusted.xml");
  EXPECT_EQ(ok.status, 0) << ok.errors;
  EXPECT_NE(readFile(dir_ / "out/trusted.xml").find(kSecret), std::string::npos)
      << "a stylesheet's own documents are parsed as the command line parses them";
}

// The user's document named to a run ("-doc:") is read by the guarded
// parser however a stylesheet reaches it: doc() by a link to it,
// document() by its URI, unparsed-text(), or as a document parameter.
TEST_F(HostileDocumentTest, TheUsersDocumentIsGuardedOnEveryRead) {
  const fs::path document = dir_ / "in/invoice.xml";
  fs::copy_file(kHostile / "external_entity.xml", document);
  fs::create_symlink(document, dir_ / "in/link.xml");
  const std::string link = (dir_ / "in/link.xml").string();
  struct Case {
    const char* what;
    std::string body;
    std::vector<std::string> options;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"doc() by a link", "<xsl:copy-of select=\"doc('" + link + "')\"/>", {}},
           {"document() by URI",
            "<xsl:copy-of select=\"document('file://" + document.string() + "')\"/>", {}},
           {"unparsed-text()", "<xsl:value-of select=\"unparsed-text('" + link + "')\"/>", {}},
           {"document parameter", "<xsl:copy-of select='$input-document'/>",
            {"+input-document=" + document.string()}}}) {
    SCOPED_TRACE(c.what);
    const fs::path sheet = dir_ / "in/reads.xsl";
    writeFile(sheet,
              "<xsl:stylesheet version='2.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
              "<xsl:param name='input-document' select='()'/><xsl:template match='/'><r>" +
                  c.body + "</r></xsl:template></xsl:stylesheet>");
    std::vector<std::string> options = c.options;
    options.push_back("-doc:" + document.string());
    const Run refused = run(kTestdata / "invoice.xml", sheet, dir_ / "out/r.xml", options);
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.errors.find(kNoDoctype), std::string::npos) << refused.errors;
    EXPECT_EQ(refused.errors.find(kSecret), std::string::npos) << refused.errors;
    EXPECT_TRUE(entriesOf(dir_ / "out").empty());
  }
  expectWorkingRun();
}

class ReportIntegrityTest : public HostileDocumentTest {};

TEST_F(ReportIntegrityTest, FailingRunsLeaveTheExistingReportByteIdentical) {
  const fs::path report = dir_ / "out/report.xml";
  const std::string previous = "<previous report=\"kept\"/>\n";
  struct Failing {
    fs::path input;
    fs::path stylesheet;
  };
  for (const Failing& failing :
       {Failing{kTestdata / "invoice.xml", kTestdata / "fails_midway.xsl"},
        Failing{kHostile / "external_entity.xml", kTestdata / "report.xsl"},
        Failing{kHostile / "not_xml.xml", kTestdata / "report.xsl"},
        Failing{kTestdata / "invoice.xml", kTestdata / "does_not_compile.xsl"}}) {
    writeFile(report, previous);
    const Run failed = run(failing.input, failing.stylesheet, report);
    EXPECT_NE(failed.status, 0) << failing.stylesheet;
    EXPECT_EQ(readFile(report), previous) << failing.input << " with " << failing.stylesheet;
    EXPECT_EQ(entriesOf(dir_ / "out"), std::set<std::string>{"report.xml"})
        << "no temporary file left";
  }
}

TEST_F(ReportIntegrityTest, ASymbolicLinkAtTheReportPathIsReplacedNotFollowed) {
  const fs::path elsewhere = dir_ / "in/elsewhere.txt";
  writeFile(elsewhere, "not to be overwritten\n");
  const fs::path report = dir_ / "out/report.xml";
  fs::create_symlink(elsewhere, report);

  const Run ok = run(kTestdata / "invoice.xml", kTestdata / "report.xsl", report);

  EXPECT_EQ(ok.status, 0) << ok.errors;
  EXPECT_FALSE(fs::is_symlink(report));
  EXPECT_EQ(readFile(report), reportOf("invoice.xml"));
  EXPECT_EQ(readFile(elsewhere), "not to be overwritten\n");
  EXPECT_EQ(entriesOf(dir_ / "out"), std::set<std::string>{"report.xml"});
}

TEST_F(ReportIntegrityTest, ANewReportHasTheModeOfAnyNewFile) {
  const mode_t saved = umask(027);
  const Run ok = run(kTestdata / "invoice.xml", kTestdata / "report.xsl", dir_ / "out/r.xml");
  umask(saved);
  ASSERT_EQ(ok.status, 0) << ok.errors;
  struct stat info {};
  ASSERT_EQ(stat((dir_ / "out/r.xml").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

// The temporary file's name is made from the report's; a report name of
// the longest length a file system allows must still work.
TEST_F(ReportIntegrityTest, AReportWithTheLongestFileNameIsWritten) {
  const fs::path report = dir_ / "out" / (std::string(251, 'r') + ".xml");
  const Run ok = run(kTestdata / "invoice.xml", kTestdata / "report.xsl", report);
  EXPECT_EQ(ok.status, 0) << ok.errors;
  EXPECT_EQ(readFile(report), reportOf("invoice.xml"));
  EXPECT_EQ(entriesOf(dir_ / "out").size(), 1u);
}

// Relative result documents and current-output-uri() see the report's
// path, never the temporary file's.
TEST_F(ReportIntegrityTest, TheStylesheetSeesTheReportPathAsItsOutput) {
  const fs::path report = dir_ / "out/inv_side_output.xml";
  const Run ok = run(kTestdata / "invoice.xml", kTestdata / "side_output.xsl", report);
  ASSERT_EQ(ok.status, 0) << ok.errors;
  EXPECT_EQ(readFile(report),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
            "<report output=\"inv_side_output.xml\" items=\"2\"/>");
  EXPECT_EQ(readFile(dir_ / "out/side.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><side output=\"side.xml\"/>");
  EXPECT_EQ(entriesOf(dir_ / "out"), (std::set<std::string>{"inv_side_output.xml", "side.xml"}));
}

// The report is what the command line leaves at the report path: a
// stylesheet's own result document there, an empty file for an empty
// principal output, nothing when the principal output is never opened
// (then the run fails: every run must leave a report). No temporary file
// stays behind in any case.
TEST_F(ReportIntegrityTest, TheReportIsWhatTheCommandLineLeaves) {
  struct Case {
    const char* stylesheet;
    bool succeeds;
    const char* report;  // nullptr: no report
    std::set<std::string> entries;
  };
  const Case cases[] = {
      {"writes_report_path.xsl", true,
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><findings/>", {"r.xml"}},
      {"empty_text.xsl", true, "", {"r.xml"}},
      {"only_side_output.xsl", false, nullptr, {"side.xml"}},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir_ / "out");
    fs::create_directories(dir_ / "out");
    const Run result = run(kTestdata / "invoice.xml", kTestdata / c.stylesheet, dir_ / "out/r.xml");
    EXPECT_EQ(result.status == 0, c.succeeds) << c.stylesheet << ": " << result.errors;
    if (c.report) {
      EXPECT_EQ(readFile(dir_ / "out/r.xml"), c.report) << c.stylesheet;
    } else {
      EXPECT_NE(result.errors.find("was not written"), std::string::npos) << result.errors;
    }
    EXPECT_EQ(entriesOf(dir_ / "out"), c.entries) << c.stylesheet;
  }
}

// A document that is not a regular file is refused before anything is
// opened: a pipe without a writer would block the run for ever.
TEST_F(ReportIntegrityTest, ADocumentThatIsAPipeIsRefusedAtOnce) {
  const fs::path pipe = dir_ / "in/pipe.xml";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const Run refused = run(pipe, kTestdata / "report.xsl", dir_ / "out/r.xml");
  EXPECT_NE(refused.status, 0);
  EXPECT_NE(refused.errors.find("is not a regular file"), std::string::npos) << refused.errors;
  EXPECT_TRUE(entriesOf(dir_ / "out").empty());
  expectWorkingRun();
}

}  // namespace
