// The options of one run, parsed once from the engine's "-name:value"
// arguments into files: the source document (-s:), the stylesheet (-xsl:)
// or the schema files (-xsd:, any number: SchemaValidation), the report
// (-o:) and where the run's messages go instead of standard error (-err:,
// XslvalidateRun). Every name is a file name exactly as given, taken
// against the current directory, never a URI: "file:s.xsl" and
// "classpath:x.xml" name files of those names. The engine server gives
// its runs the caller's current directory as "-cwd:<directory>"; relative
// names are then taken against that, and still show as given. "-l:on"
// keeps the source document's line and column numbers for this run only
// (SourceLines), never by setting the shared configuration, as Saxon's own
// "-l" would.
// What the run may read (RunReads): "-doc:<file>" names the user's document
// when it is not the source, "+name=<file>" gives a stylesheet parameter
// that document, parsed as the source is, and each "-read:<folder>" is a
// folder of the run's scope.

import java.io.File;
import java.nio.charset.Charset;
import java.nio.charset.CharsetEncoder;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;

final class RunOptions {
  // The files of the run; null when the option is absent.
  final File source;
  final File stylesheet;
  final File report;
  final File errorFile;

  // The schema files, in the order given; empty when none.
  final List<File> schemas;

  // The user's document when it is not the source ("-doc:"), or null.
  final File document;

  // The files of document-valued parameters ("+name=file"), in order.
  final List<File> documentParameters;

  // The folders of the run's scope ("-read:"); empty: no scope.
  final List<File> readScope;

  // Whether the source document is built with line numbering ("-l:on").
  final boolean lineNumbers;

  // The arguments as the engine gave them.
  private final String[] args;

  // Whether a stylesheet option was given with nothing after "-xsl:" (an
  // unset shell variable, say).
  private final boolean emptyStylesheetName;

  private RunOptions(String[] args, File source, File stylesheet, File report, File errorFile,
                     List<File> schemas, boolean lineNumbers, File document,
                     List<File> documentParameters, List<File> readScope) {
    this.args = args;
    this.document = document;
    this.documentParameters = documentParameters;
    this.readScope = readScope;
    this.lineNumbers = lineNumbers;
    this.emptyStylesheetName = stylesheet != null && stylesheet.getPath().isEmpty();
    this.source = source;
    this.stylesheet = stylesheet;
    this.report = report;
    this.errorFile = errorFile;
    this.schemas = schemas;
  }

  // Whether this run validates against schemas instead of transforming.
  boolean validatesSchemas() {
    return !schemas.isEmpty() && stylesheet == null;
  }

  // The options in `args`; the last of each kind counts, as on the command
  // line, but every schema file counts.
  static RunOptions parse(String[] args) {
    String source = null;
    String stylesheet = null;
    String report = null;
    String errorFile = null;
    List<String> schemas = new ArrayList<>();
    String document = null;
    List<String> parameters = new ArrayList<>();
    List<String> scope = new ArrayList<>();
    File directory = null;
    boolean lineNumbers = false;
    for (String arg : args) {
      if (arg.equals(LINE_NUMBERS)) lineNumbers = true;
      if (arg.startsWith("-s:")) source = arg.substring(3);
      if (arg.startsWith("-xsl:")) stylesheet = arg.substring(5);
      if (arg.startsWith("-o:")) report = arg.substring(3);
      if (arg.startsWith(SCHEMA)) schemas.add(arg.substring(SCHEMA.length()));
      if (arg.startsWith(ERROR_FILE)) errorFile = arg.substring(ERROR_FILE.length());
      if (arg.startsWith(DIRECTORY)) directory = new File(arg.substring(DIRECTORY.length()));
      if (arg.startsWith(DOCUMENT)) document = arg.substring(DOCUMENT.length());
      if (arg.startsWith(READ)) scope.add(arg.substring(READ.length()));
      if (arg.startsWith("+") && arg.indexOf('=') > 1) {
        parameters.add(arg.substring(arg.indexOf('=') + 1));
      }
    }
    return new RunOptions(args, fileOrNull(source, directory), fileOrNull(stylesheet, directory),
                          fileOrNull(report, directory), fileOrNull(errorFile, directory),
                          files(schemas, directory), lineNumbers, fileOrNull(document, directory),
                          files(parameters, directory), files(scope, directory));
  }

  private static List<File> files(List<String> names, File directory) {
    List<File> files = new ArrayList<>();
    for (String name : names) files.add(fileOrNull(name, directory));
    return files;
  }

  // The options this engine adds to the command line's.
  private static final String SCHEMA = "-xsd:";
  private static final String ERROR_FILE = "-err:";
  private static final String LINE_NUMBERS = "-l:on";
  private static final String DOCUMENT = "-doc:";
  private static final String READ = "-read:";

  // The option that names the directory relative names are taken against.
  private static final String DIRECTORY = "-cwd:";

  private static File fileOrNull(String name, File directory) {
    if (name == null) return null;
    if (directory == null || name.isEmpty() || new File(name).isAbsolute()) return new File(name);
    return new GivenNameFile(directory, name);
  }

  // Describes why the run must not start, in the words the command line
  // uses where it has some, or returns null. Checks, in order: names the JVM
  // cannot pass on exactly, standard input, a missing source or stylesheet,
  // a source that is not a regular file (a directory, a FIFO, a device), an
  // empty stylesheet name, a stylesheet that is a FIFO or a device (which
  // would block the run or feed it without end), a report whose directory
  // does not exist, and what ReportFile.refusal finds wrong with the report.
  // The one check of the run's files, on both paths: the engine library's
  // client (jvmengine/client.cpp) keeps in-process only the names that
  // reach the caller's own process, which the server cannot know; the
  // server sees every other file as its caller does, so it refuses here
  // with the caller's words.
  String refusal() {
    CharsetEncoder fileNames = fileNameEncoder();
    for (String arg : args) {
      int colon = arg.indexOf(':');
      String value = colon < 0 ? arg : arg.substring(colon + 1);
      if (fileNames != null && !fileNames.canEncode(value)) {
        return "Cannot represent the file name " + value + " in the JVM's file name encoding "
            + System.getProperty("sun.jnu.encoding");
      }
      if ((arg.startsWith("-s:") || arg.startsWith("-xsl:") || arg.startsWith(SCHEMA))
          && value.equals("-")) {
        return "Reading from standard input is not supported: " + arg;
      }
    }
    if (!schemas.isEmpty()) {
      String refusal = schemaRefusal();
      if (refusal != null) return refusal;
    }
    if (source != null && !source.exists()) return "Source file " + source + " does not exist";
    if (source != null && source.isDirectory()) {
      return "Source document " + source + " is a directory";
    }
    if (source != null && !Files.isRegularFile(source.toPath())) {
      return "Source document " + source
          + " is not a regular file (a pipe or a device): only files are read";
    }
    if (emptyStylesheetName) return "The stylesheet name is empty";
    if (stylesheet != null && !stylesheet.exists()) {
      return "Stylesheet file " + stylesheet + " does not exist";
    }
    if (stylesheet != null && !stylesheet.isDirectory()
        && !Files.isRegularFile(stylesheet.toPath())) {
      return "Stylesheet " + stylesheet
          + " is not a regular file (a pipe or a device): only files are read";
    }
    if (report != null) {
      File parent = report.getAbsoluteFile().getParentFile();
      if (parent != null && !parent.isDirectory()) {
        return "Cannot write report " + report + ": directory " + parent + " does not exist";
      }
      return ReportFile.refusal(report);
    }
    return null;
  }

  // What keeps a run with schema files from starting, or null: a
  // stylesheet beside them, a missing document or report option, a schema
  // file that is missing or not a regular file.
  private String schemaRefusal() {
    if (stylesheet != null) {
      return "A run either transforms (-xsl:) or validates against schemas (-xsd:), not both";
    }
    if (source == null || report == null) {
      return "Validating against schemas needs the document (-s:) and the report (-o:)";
    }
    for (File schema : schemas) {
      if (schema.getPath().isEmpty()) return "A schema file name is empty";
      if (!schema.exists()) return "Schema file " + schema + " does not exist";
      if (!Files.isRegularFile(schema.toPath())) {
        return "Schema file " + schema + " is not a regular file";
      }
    }
    return null;
  }

  // The arguments for Saxon's command line: the files as absolute paths,
  // which it always takes as file names (a name such as "file:s.xsl" it
  // would take as a URI), then every other argument as given. Saxon makes
  // each file's URI from the absolute path exactly as it would from the
  // name as given.
  String[] saxonArguments() {
    List<String> saxon = new ArrayList<>();
    int parameter = 0;
    for (String arg : args) {
      if (arg.startsWith("-s:") || arg.startsWith("-xsl:") || arg.startsWith("-o:")
          || arg.startsWith(DIRECTORY) || arg.startsWith(SCHEMA) || arg.startsWith(ERROR_FILE)
          || arg.equals(LINE_NUMBERS) || arg.startsWith(DOCUMENT) || arg.startsWith(READ)) {
        continue;
      }
      if (arg.startsWith("+") && arg.indexOf('=') > 1) {
        File file = documentParameters.get(parameter++);
        saxon.add(arg.substring(0, arg.indexOf('=') + 1)
                  + (file.getPath().isEmpty() ? "" : file.getAbsolutePath()));
        continue;
      }
      saxon.add(arg);
    }
    if (source != null) saxon.add("-s:" + source.getAbsolutePath());
    if (stylesheet != null) saxon.add("-xsl:" + stylesheet.getAbsolutePath());
    if (report != null) saxon.add("-o:" + report.getAbsolutePath());
    return saxon.toArray(new String[0]);
  }

  // The encoder for file names, or null when every String is representable
  // (UTF-8).
  private static CharsetEncoder fileNameEncoder() {
    String name = System.getProperty("sun.jnu.encoding");
    try {
      Charset charset = Charset.forName(name);
      if (charset.name().equals("UTF-8")) return null;
      return charset.newEncoder();
    } catch (RuntimeException unknown) {
      return Charset.forName("US-ASCII").newEncoder();
    }
  }

}
