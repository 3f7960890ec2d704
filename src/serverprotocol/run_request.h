// One run as it crosses the engine server's socket: a typed record of the
// files and stylesheet parameters of the run, never the option strings
// themselves. Only what the server can confine to the run has a field; a
// run that asks for anything else (an option that would change the shared
// engine configuration, an expression-valued parameter) has no record and
// runs in the caller's own process.
#ifndef XSLVALIDATE_SERVERPROTOCOL_RUN_REQUEST_H_
#define XSLVALIDATE_SERVERPROTOCOL_RUN_REQUEST_H_

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct RunRequest {
  // File names as given (UTF-8), empty when the option is absent.
  std::string source;      // -s:
  std::string stylesheet;  // -xsl:
  std::string report;      // -o:
  std::string errorFile;   // -err:
  std::vector<std::string> schemas;  // -xsd:, in the order given
  // String-valued stylesheet parameters (name=value), in the order given.
  std::vector<std::pair<std::string, std::string>> parameters;
  // What the run may read: the user's document when it is not the source
  // (-doc:), document-valued parameters given that document (+name=file),
  // the folders of the run's scope (-read:), in the order given.
  std::string document;
  std::vector<std::pair<std::string, std::string>> documentParameters;
  std::vector<std::string> readScope;
  // Which of the options were given at all (an empty name is a name).
  bool hasSource = false, hasStylesheet = false, hasReport = false, hasErrorFile = false,
       hasDocument = false;
  // "-l:on": this run's source document is built with line numbers (the
  // run's own setting, never the shared configuration's).
  bool lineNumbers = false;
};

// The record of a run given as engine options ("-s:", "-xsl:", "-o:",
// "-err:", "-xsd:", "-l:on", "-doc:", "-read:", "+name=file", "name=value");
// the last of each single option counts,
// as on the command line. nullopt when any option is of another kind: such
// a run belongs in the caller's own process.
std::optional<RunRequest> runRequestOf(const std::vector<std::string>& options);

// The engine options that give exactly `request`, with relative names
// taken against `directory` ("-cwd:<directory>" last): what the run class
// parses inside the run.
std::vector<std::string> optionsOf(const RunRequest& request, const std::string& directory);

// Every file name of the request, with whether the run writes it (report,
// messages file) rather than reads it.
std::vector<std::pair<std::string, bool>> namesOf(const RunRequest& request);

struct Writer;
struct Reader;

// Appends `request` and the caller's current `directory` to `message`, and
// reads them back; readRunRequest fails (nullopt) on a message cut short.
void writeRunRequest(Writer& message, const RunRequest& request, const std::string& directory);
std::optional<std::pair<RunRequest, std::string>> readRunRequest(Reader& message);

#endif  // XSLVALIDATE_SERVERPROTOCOL_RUN_REQUEST_H_
