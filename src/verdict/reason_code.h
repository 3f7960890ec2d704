// The stable reason codes of outcomes other than accepted: what a script
// branches on (JSON's "reasonCode", the text form, JUnit and the page),
// where the English reason beside it may change. The codes of the
// XRechnung reference validator's pipeline are used where the cause is the
// same (no-scenario-matched, rule-engine-error).
#ifndef XSLVALIDATE_VERDICT_REASON_CODE_H_
#define XSLVALIDATE_VERDICT_REASON_CODE_H_

namespace reason_code {

// Rejected (status 1): the document's own faults.
inline constexpr char kRuleFindings[] = "rule-findings";  // a rule set's findings reject it
inline constexpr char kSchemaInvalid[] = "schema-invalid";  // the XML Schema step's errors reject it
inline constexpr char kNotWellFormed[] = "not-well-formed";  // empty, not XML, or a shape refused for safety
inline constexpr char kDoctypeRefused[] = "doctype-refused";  // it declares a DOCTYPE
inline constexpr char kNoScenarioMatched[] = "no-scenario-matched";  // no configuration handles it
inline constexpr char kAssessmentRejected[] = "assessment-rejected";  // the configuration's report rejects it where no finding would

// No verdict (status 3): not the document's fault.
inline constexpr char kWrongRuleSet[] = "wrong-rule-set";  // rules by hand for another kind of document
inline constexpr char kRuleEngineError[] = "rule-engine-error";  // a rule set failed to compile or run, or wrote no report to read
inline constexpr char kMatchError[] = "match-error";  // a scenario's match failed on the document
inline constexpr char kSchemaError[] = "schema-error";  // the XML Schema step could not be done
inline constexpr char kReportError[] = "report-error";  // the configuration's report could not be made or read
inline constexpr char kEngineFailed[] = "engine-failed";  // the engine or its temporary folder failed
inline constexpr char kOutputUnwritable[] = "output-unwritable";  // a report folder could not be made
inline constexpr char kTimeLimit[] = "time-limit";  // the check ran past its time limit and was stopped

// Not checked (the validation service's 503): no verdict was tried.
inline constexpr char kEngineUnavailable[] = "engine-unavailable";  // no engine server could be had

}  // namespace reason_code

#endif  // XSLVALIDATE_VERDICT_REASON_CODE_H_
