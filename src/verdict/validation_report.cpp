#include "verdict/validation_report.h"

#include <cstdio>
#include <filesystem>

#include "host/utf8.h"
#include "path/path_text.h"
#include "verdict/document_hash.h"
#include "verdict/host_files.h"
#include "verdict/markup.h"
#include "verdict/reason_code.h"
#include "verdict/scratch_guard.h"
#include "verdict/shown.h"
#include "verdict/summary_line.h"
#include "verdict/xml_writer.h"
#include "version.h"

namespace {

const char kInputNamespace[] = "http://www.xoev.de/de/validator/framework/1/createreportinput";
const char kScenariosNamespace[] = "http://www.xoev.de/de/validator/framework/1/scenarios";
const char kReportNamespace[] = "http://www.xoev.de/de/validator/varl/1";

// The scratch files of the step, in the worker's scratch folder.
struct StepFiles {
  std::u16string outline, input, accept;
};

StepFiles stepFiles(const CheckWorker& worker) {
  return StepFiles{inFolder(worker.scratch, u"report-outline.xml"),
                   inFolder(worker.scratch, u"report-input.xml"),
                   inFolder(worker.scratch, kAcceptName)};
}

std::string element(const char* name, std::string_view text) {
  return std::string("<") + name + ">" + markupText(text) + "</" + name + ">";
}

std::string resourceXml(const Resource& resource) {
  return "<s:resource>" + element("s:name", resource.name) +
         element("s:location", resource.location) + "</s:resource>";
}

// The severity code of the input format for a finding's flag.
const char* severityCode(const FindingRecord& finding) {
  const std::string flag = normalizedFlag(finding.flag.value_or("error"));
  if (flag == "warning")
    return "SEVERITY_WARNING";
  if (flag == "fatal")
    return "SEVERITY_FATAL_ERROR";
  return "SEVERITY_ERROR";
}

std::string syntaxError(std::string_view message, const char* severity, long long line,
                        long long column) {
  std::string text = "<in:xmlSyntaxError>" + element("in:message", message) +
                     element("in:severityCode", severity);
  if (line > 0)
    text += element("in:rowNumber", std::to_string(line));
  if (column > 0)
    text += element("in:columnNumber", std::to_string(column));
  return text + "</in:xmlSyntaxError>";
}

// The outline of the report's input (report_input.xsl makes the input of
// it): every text the verdict holds, escaped; the scenario and the SVRL
// reports named by URI, for the stylesheet to copy as parsed.
std::string outline(const ReportRequest& request, const std::string& hash,
                    const DocumentResult& result) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<x:report-input xmlns:x=\"urn:xslvalidate:report-input\">\n"
      "<in:createReportInput xmlns:in=\"" + std::string(kInputNamespace) +
      "\" xmlns:s=\"" + kScenariosNamespace + "\" frameworkVersion=\"1.0.0\">\n"
      "<in:engine>" + element("in:name", "xslvalidate-verdict " XSLVALIDATE_VERSION) +
      "</in:engine>\n<in:timestamp/>\n"
      "<in:documentIdentification><in:documentHash>" +
      element("in:hashAlgorithm", "SHA-256") + element("in:hashValue", hash) +
      "</in:documentHash>" + element("in:documentReference",
                       request.shownName.empty() ? fileUri(request.document) : request.shownName) +
      "</in:documentIdentification>\n";
  if (request.scenario)
    text += "<x:scenario configuration=\"" + markupText(fileUri(request.configuration->file)) +
            "\" index=\"" + std::to_string(request.scenarioIndex) + "\"/>\n";
  text += "<in:validationResultsWellformedness>";
  if (!request.wellFormednessError.empty())
    text += syntaxError(request.wellFormednessError, "SEVERITY_FATAL_ERROR",
                        request.wellFormednessLine, request.wellFormednessColumn);
  text += "</in:validationResultsWellformedness>\n";
  if (request.scenario && !request.scenario->schemaResources.empty()) {
    text += "<in:validationResultsXmlSchema>";
    for (const Resource& resource : request.scenario->schemaResources)
      text += resourceXml(resource);
    for (const FindingRecord& finding : result.schema.findings)
      text += syntaxError(finding.text, severityCode(finding), finding.line, finding.column);
    text += "</in:validationResultsXmlSchema>\n";
  }
  if (request.scenario) {
    for (size_t i = 0; i < result.ruleSets.size() &&
                       i < request.scenario->ruleSetResources.size();
         ++i) {
      const RuleSetRecord& ruleSet = result.ruleSets[i];
      if (ruleSet.run != RunState::kCompleted || !ruleSet.svrl.value_or(false) ||
          ruleSet.reportFile.empty())
        continue;
      text += "<in:validationResultsSchematron>" +
              resourceXml(request.scenario->ruleSetResources[i]) +
              "<in:results><x:svrl href=\"" + markupText(fileUri(ruleSet.reportFile)) +
              "\"/></in:results></in:validationResultsSchematron>\n";
    }
  }
  return text + "</in:createReportInput>\n</x:report-input>\n";
}

// The first line the engine wrote into `file`; empty when there is none.
std::string firstLine(std::u16string_view file) {
  std::string line;
  if (std::FILE* in = openFile(file, "rb")) {
    readLine(in, &line);
    std::fclose(in);
  }
  return line;
}

void withhold(DocumentResult* result, std::string reason) {
  result->verdict = Verdict::kNone;
  result->reason = std::move(reason);
  result->reasonCode = reason_code::kReportError;
}

// "accept" or "reject" for the report that is the context item: by
// `acceptMatch` with `namespaces` bound when it is not empty, else by the
// report's own assessment. The XPath and the bindings are values the
// writer escapes.
XmlElement acceptChoice(const std::vector<std::pair<std::string, std::string>>& namespaces,
                        const std::string& acceptMatch) {
  const std::string rep = std::string("Q{") + kReportNamespace + "}";
  const std::string test = !acceptMatch.empty()
                               ? acceptMatch
                               : "exists(/" + rep + "report/" + rep + "assessment/" + rep + "accept)";
  XmlElement choose{"choose", {}, {}, "", {}};
  choose.children.push_back(XmlElement{"when", namespaces, {{"test", test}}, "accept", {}});
  choose.children.push_back(XmlElement{"otherwise", {}, {}, "reject", {}});
  return choose;
}

}  // namespace

std::string fileUri(std::u16string_view path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(fsPath(path), error);
  const std::string bytes =
      toUtf8(fromFsPath(error ? fsPath(path) : absolute.lexically_normal())).value_or("");
  std::string uri = "file://";
  if (bytes.empty() || (bytes[0] != '/' && bytes[0] != '\\'))
    uri += '/';  // a Windows drive: file:///C:/...
  static const char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : bytes) {
    if (c == '\\') {
      uri += '/';
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.' || c == '_' || c == '~' || c == '/' || c == ':') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

const char16_t kAcceptName[] = u"accept.txt";

std::string reportRunnerText(std::u16string_view reportStylesheet,
                             const std::vector<std::pair<std::string, std::string>>& namespaces,
                             const std::string& acceptMatch) {
  const std::optional<std::string> accept = toUtf8(kAcceptName);
  if (!accept)
    return std::string();
  // The report is made once, as a tree, and both written and judged from
  // it: the imported stylesheet's own rules make it (xsl:apply-imports
  // from the document node), its output definition writes it.
  XmlElement judged{
      "for-each", {}, {{"select", "$report"}}, "", {acceptChoice(namespaces, acceptMatch)}};
  XmlElement root{"template", {}, {{"match", "/"}}, "", {}};
  root.children.push_back(XmlElement{"variable", {}, {{"name", "report"}}, "",
                                     {XmlElement{"apply-imports", {}, {}, "", {}}}});
  // Written compactly, as the reference validator writes its reports: no
  // indentation, and each element declares only the namespaces its
  // parent does not already have, so that a declaration the report
  // stylesheet made on every element it built is written once.
  const std::string compact = "Q{urn:xslvalidate:report-runner}compact";
  // (A report without an element, as a probe's, is written as it is.)
  root.children.push_back(XmlElement{
      "choose",
      {},
      {},
      "",
      {XmlElement{"when",
                  {},
                  {{"test", "$report/*"}},
                  "",
                  {XmlElement{"apply-templates",
                              {},
                              {{"select", "$report/node()"}, {"mode", compact}},
                              "",
                              {}}}},
       XmlElement{"otherwise", {}, {}, "", {XmlElement{"sequence", {}, {{"select", "$report"}}, "", {}}}}}});
  // Beside the run's input, whatever the output path: the report may go
  // straight to its place, the acceptance stays in the caller's scratch.
  root.children.push_back(
      XmlElement{"result-document", {},
                 {{"href", "{resolve-uri('" + *accept + "', base-uri(/))}"}, {"method", "text"}},
                 "", {std::move(judged)}});
  XmlElement stylesheet{
      "stylesheet",
      {},
      {{"xmlns", "http://www.w3.org/1999/XSL/Transform"}, {"version", "3.0"}},
      "",
      {XmlElement{"import", {}, {{"href", fileUri(reportStylesheet)}}, "", {}},
       // The checked document, which the engine parses as it parses every
       // run's source (makeValidationReport gives it); none when it is not
       // XML or was refused.
       XmlElement{"param", {}, {{"name", "input-document"}, {"select", "()"}}, "", {}},
       XmlElement{"output", {}, {{"indent", "no"}}, "", {}},
       std::move(root),
       XmlElement{"template",
                  {},
                  {{"match", "*"}, {"mode", compact}},
                  "",
                  {XmlElement{"variable", {}, {{"name", "parent"}, {"select", ".."}}, "", {}},
                   XmlElement{"copy",
                              {},
                              {{"copy-namespaces", "no"}},
                              "",
                              {XmlElement{"copy-of",
                                          {},
                                          {{"select",
                                            "namespace::*[let $n := . return not($parent/"
                                            "namespace::*[local-name() = local-name($n) and "
                                            "string() = string($n)])], @*"}},
                                          "",
                                          {}},
                               XmlElement{"apply-templates",
                                          {},
                                          {{"select", "node()"}, {"mode", compact}},
                                          "",
                                          {}}}}}},
       XmlElement{"template",
                  {},
                  {{"match", "text() | comment() | processing-instruction()"}, {"mode", compact}},
                  "",
                  {XmlElement{"copy", {}, {}, "", {}}}}}};
  return writeXml(stylesheet).value_or(std::string());
}

std::string acceptStylesheetText(const std::vector<std::pair<std::string, std::string>>& namespaces,
                                 const std::string& acceptMatch) {
  return textStylesheet(acceptChoice(namespaces, acceptMatch));
}

std::u16string validationReportPath(std::u16string_view document, std::u16string_view folder,
                                    std::u16string_view prefix, std::u16string_view postfix) {
  PathText text{hostGrammar()};
  const size_t start = text.filenameStart(document);
  std::u16string name(document.substr(start));
  const size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos && dot > 0)
    name.resize(dot);
  name = std::u16string(prefix) + name + u"-report" + std::u16string(postfix) + u".xml";
  if (!folder.empty())
    return inFolder(folder, name);
  if (start == 0)
    return name;
  return std::u16string(document.substr(0, start)) + name;
}

ReportFiles reportFiles(std::u16string_view document, std::u16string_view reportFolder,
                        std::u16string_view pageFolder, std::u16string_view prefix,
                        std::u16string_view postfix) {
  ReportFiles files;
  files.report = validationReportPath(document, reportFolder, prefix, postfix);
  files.input =
      validationReportPath(document, reportFolder, prefix, std::u16string(postfix) + u"-input");
  if (!pageFolder.empty()) {
    files.html = validationReportPath(document, pageFolder, prefix, postfix);
    files.html.replace(files.html.size() - 4, 4, u".html");
  }
  return files;
}

void makeValidationReport(CheckWorker* worker, const ReportRequest& request,
                          DocumentResult* result) {
  const std::u16string& runner =
      request.scenario ? request.scenario->reportRunner : request.configuration->noScenarioRunner;
  if (runner.empty())
    return;
  StepFiles files = stepFiles(*worker);
  std::string hash;
  if (std::FILE* document = openFile(request.document, "rb")) {
    hash = sha256Base64(document);
    std::fclose(document);
  }
  if (hash.empty())
    return withhold(result, "the document could not be read again for its digest");
  const std::u16string& builder = worker->bundled->reportInput;
  const std::string problem = writeWholeFile(files.outline, outline(request, hash, *result));
  if (!problem.empty())
    return withhold(result, "the temporary folder " + shown(worker->scratch) +
                                " could not be written (" + problem + ")");
  // Two engine runs: one makes the report's input, one the report and, in
  // the same run, its acceptance.
  removeFile(files.input);
  // Both runs know the document as the user's: any read of it, whatever
  // names it, goes through the engine's guarded parser.
  ReadRules userDocument;
  if (engineKeepsReadRules())
    userDocument.document = request.document;
  if (runTransformTo(worker->environment, files.outline, builder, files.input, userDocument) != 0)
    return withhold(result, "the validation report's input could not be made");
  // The report is written by the engine beside its place, under a name of
  // this call's own, and takes its place only once its acceptance is read:
  // the engine's flush to disk is the only one it needs.
  const ReportFiles outputs = reportFiles(request.document, request.reportFolder,
                                          request.pageFolder, request.prefix, request.postfix);
  const std::u16string& place = outputs.report;
  std::string reason;
  const std::u16string own = makePrivateFileBeside(place, &reason);
  if (own.empty()) {
    result->verdict = Verdict::kNone;
    result->reason = "the validation report " + shown(place) + " could not be written (" +
                     reason + ")";
    result->reasonCode = reason_code::kOutputUnwritable;
    return;
  }
  const int held = holdScratchFolder(own);
  removeFile(files.accept);
  // The runner reads the repository alone; the document is named to the
  // engine as the user's, and given to the report stylesheet only when it
  // is XML that no rule refused.
  ReadRules rules = configurationReads(*request.configuration);
  rules.document = userDocument.document;
  if (request.wellFormednessError.empty() && !request.documentUnread) {
    rules.parameter = "input-document";
    rules.parameterFile = request.document;
  }
  const bool ran = !endingBySignal() &&
                   runTransformTo(worker->environment, files.input, runner, own, rules) == 0;
  const std::string assessment = ran ? firstLine(files.accept) : std::string();
  reason = ran && (assessment == "accept" || assessment == "reject") ? renameFile(own, place)
                                                                      : "not run";
  if (!reason.empty())
    removeFile(own);
  releaseScratchFolder(held);
  if (!ran)
    return withhold(result, "the configuration's report stylesheet failed (see the engine's "
                            "messages)");
  if (assessment != "accept" && assessment != "reject")
    return withhold(result, "the configuration's acceptance gave no answer");
  if (!reason.empty()) {
    result->verdict = Verdict::kNone;
    result->reason = "the validation report " + shown(place) + " could not be written (" +
                     reason + ")";
    result->reasonCode = reason_code::kOutputUnwritable;
    return;
  }
  result->validationReport = shown(place);
  result->validationReportFile = place;
  if (request.keepInput) {
    std::string input;
    const std::u16string& inputPlace = outputs.input;
    if (!readWholeFile(files.input, &input) || !writeFileAtomically(inputPlace, input)) {
      result->verdict = Verdict::kNone;
      result->reason = "the validation report's input " + shown(inputPlace) +
                       " could not be written";
      result->reasonCode = reason_code::kOutputUnwritable;
      return;
    }
  }
  if (!request.pageFolder.empty()) {
    const std::u16string& page = outputs.html;
    if (!makeFolders(request.pageFolder) ||
        runTransformTo(worker->environment, place, worker->bundled->explanation, page) != 0) {
      result->verdict = Verdict::kNone;
      result->reason = "the report's explanation " + shown(page) + " could not be written";
      result->reasonCode = reason_code::kOutputUnwritable;
      return;
    }
  }

  // The report only chooses between accept and reject; a document not
  // handled by any scenario stays rejected whatever its report says.
  result->assessment = assessment;
  result->assessmentBy = request.scenario && !request.scenario->acceptMatch.empty()
                             ? "acceptMatch"
                             : "report";
  if (result->verdict == Verdict::kNone || !request.scenario)
    return;
  const bool findingsAccept = result->verdict == Verdict::kAccepted;
  bool warningRejects = false;
  for (const RuleSetRecord& ruleSet : result->ruleSets)
    for (const FindingRecord& finding : ruleSet.findings)
      warningRejects = warningRejects || (finding.rejects && finding.severity == "warning");
  for (const FindingRecord& finding : result->schema.findings)
    warningRejects = warningRejects || (finding.rejects && finding.severity == "warning");
  // --warnings-as-errors can only turn an acceptance into a rejection.
  const bool accepts = assessment == "accept" && !(result->warningsAsErrors && warningRejects);
  result->assessmentOverrides = accepts != findingsAccept;
  if (accepts) {
    result->verdict = Verdict::kAccepted;
    result->reason.clear();
    result->reasonCode = nullptr;
  } else if (findingsAccept) {
    result->verdict = Verdict::kRejected;
    result->reason = std::string("the configuration's report rejects it (") +
                     (result->assessmentBy == "acceptMatch" ? "by its acceptMatch"
                                                            : "by its assessment") +
                     "), where no finding would";
    result->reasonCode = reason_code::kAssessmentRejected;
  }
}
