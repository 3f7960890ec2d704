// The engine's schema step: one document validated against a set of XML
// Schema files taken together, with the JDK's own validator
// (javax.xml.validation), and what the validator found written as a schema
// report. A run with "-s:<document>", one or more "-xsd:<schema file>" and
// "-o:<report>" (and no "-xsl:") is one of these (RunOptions).
//
// The report, in UTF-8, put in place whole as every report is (ReportFile):
//
//   <schema-report xmlns="urn:xslvalidate:schema-report" valid="true|false">
//   <finding severity="warning|error|fatal" line="N" column="N">message</finding>
//   ...
//   </schema-report>
//
// one finding per problem the validator reports, in the order reported;
// line and column as the validator gives them, 0 when unknown. The document
// is valid when nothing is an error or fatal. It is parsed as hostile, as
// for the transforms (SourceGuard): a document that is not well-formed, or
// that the guard refuses (a DOCTYPE, too deep, too many namespace
// bindings), ends the validation with a fatal finding, and the report is
// still written: the step was done, the document is invalid.
//
// Status 0 once the report is written; FAILED, with one line on standard
// error, when the schema cannot be read or compiled (CompiledSchema), the
// document cannot be read, or the report cannot be written.
import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.util.List;
import javax.xml.XMLConstants;
import javax.xml.transform.sax.SAXSource;
import javax.xml.validation.Validator;
import org.xml.sax.ErrorHandler;
import org.xml.sax.InputSource;
import org.xml.sax.Locator;
import org.xml.sax.SAXException;
import org.xml.sax.SAXParseException;
import org.xml.sax.XMLReader;

final class SchemaValidation {
  private static final int FAILED = 2;

  private static final String NAMESPACE = "urn:xslvalidate:schema-report";

  private SchemaValidation() {}

  // Validates options.source against options.schemas, compiled by `host`
  // (which may keep them), and writes the report to options.report; the
  // options have passed RunOptions.refusal(). Returns 0 or FAILED as above.
  static int run(RunOptions options, RunHost host) {
    long lastStep = System.nanoTime();
    CompiledSchema compiled;
    try {
      compiled = host.compiledSchema(options.schemas);
    } catch (CompiledSchema.Failure e) {
      System.err.println(e.getMessage());
      return FAILED;
    }
    lastStep = Diagnostics.step("schema compile", lastStep);
    Findings findings = new Findings();
    try {
      validate(compiled, options, findings);
    } catch (IOException e) {
      System.err.println("Cannot read source document " + options.source + ": " + e.getMessage());
      return FAILED;
    }
    lastStep = Diagnostics.step("schema validation", lastStep);
    ReportFile report = new ReportFile(options.report);
    boolean placed = false;
    try {
      report.write(findings.report());
      placed = report.complete();
    } catch (IOException e) {
      System.err.println("Cannot write report " + options.report + ": " + e.getMessage());
      return FAILED;
    } finally {
      if (!placed) report.discard();
    }
    Diagnostics.step("write", lastStep);
    return 0;
  }

  // Runs the validator over the document, read by the guarded parser;
  // every problem lands in `findings`. Throws only when the document
  // cannot be read.
  private static void validate(CompiledSchema compiled, RunOptions options, Findings findings)
      throws IOException {
    Validator validator = compiled.schema.newValidator();
    XMLReader parser = null;
    try {
      // The document's own schema hints (xsi:schemaLocation) are never
      // followed: it is checked against the schemas given, and reads nothing.
      validator.setProperty(XMLConstants.ACCESS_EXTERNAL_SCHEMA, "");
      validator.setProperty(XMLConstants.ACCESS_EXTERNAL_DTD, "");
      validator.setErrorHandler(findings);
      InputSource input = new InputSource(options.source.getAbsoluteFile().toURI().toString());
      parser = SourceGuard.newGuardedParser(StartupPreparation.parserFactoryClass());
      // The validator needs namespace names, which the platform's parser
      // gives only when asked (Saxon asks for them itself).
      parser.setFeature("http://xml.org/sax/features/namespaces", true);
      validator.validate(new SAXSource(parser, input));
    } catch (SAXParseException e) {
      findings.fatal(e);
    } catch (SAXException e) {
      // A refusal raised inside the parser's scanner comes without a place:
      // the place is where the parser stopped.
      Locator where = parser instanceof SourceGuard
          ? ((SourceGuard) parser).documentLocator() : null;
      findings.fatal(where == null ? e : new SAXParseException(e.getMessage(), where));
    } catch (IOException e) {
      throw e;
    } catch (Exception e) {
      throw new IOException("cannot set up its parser: " + e, e);
    }
  }

  // The findings of one validation, as the report's elements.
  private static final class Findings implements ErrorHandler {
    private final StringBuilder findings = new StringBuilder();
    private boolean invalid;
    private SAXException lastFatal;

    @Override
    public void warning(SAXParseException e) {
      add("warning", e.getLineNumber(), e.getColumnNumber(), e.getMessage());
    }

    @Override
    public void error(SAXParseException e) {
      add("error", e.getLineNumber(), e.getColumnNumber(), e.getMessage());
    }

    @Override
    public void fatalError(SAXParseException e) throws SAXException {
      fatal(e);
      throw e;
    }

    // Records what ended the validation, once: the parser reports a fatal
    // error to the handler and then throws it.
    void fatal(SAXException e) {
      if (e == lastFatal) return;
      lastFatal = e;
      if (e instanceof SAXParseException) {
        SAXParseException at = (SAXParseException) e;
        add("fatal", at.getLineNumber(), at.getColumnNumber(), e.getMessage());
      } else {
        add("fatal", 0, 0, e.getMessage());
      }
    }

    private void add(String severity, int line, int column, String message) {
      if (!severity.equals("warning")) invalid = true;
      findings.append("<finding severity=\"").append(severity).append("\" line=\"")
          .append(Math.max(line, 0)).append("\" column=\"").append(Math.max(column, 0))
          .append("\">");
      appendText(findings, message == null ? "" : message);
      findings.append("</finding>\n");
    }

    byte[] report() {
      return ("<schema-report xmlns=\"" + NAMESPACE + "\" valid=\"" + !invalid + "\">\n"
              + findings + "</schema-report>\n").getBytes(StandardCharsets.UTF_8);
    }
  }

  // Appends `text` as XML character content: markup characters escaped,
  // characters XML cannot carry replaced by U+FFFD.
  static void appendText(StringBuilder out, String text) {
    for (int i = 0; i < text.length(); ) {
      int c = text.codePointAt(i);
      i += Character.charCount(c);
      if (c == '<') {
        out.append("&lt;");
      } else if (c == '>') {
        out.append("&gt;");
      } else if (c == '&') {
        out.append("&amp;");
      } else if (c == '\r') {
        out.append("&#13;");
      } else if (c == 0x9 || c == 0xA || (c >= 0x20 && c <= 0xD7FF)
                 || (c >= 0xE000 && c <= 0xFFFD) || c >= 0x10000) {
        out.appendCodePoint(c);
      } else {
        out.append('\uFFFD');
      }
    }
  }
}
