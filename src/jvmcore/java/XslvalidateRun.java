// One transform run for the engine library, on Saxon-HE's own command-line
// class, so reports come out exactly as `java net.sf.saxon.Transform` writes
// them. An instance is one run: its typed options (RunOptions), its report
// file (ReportFile) and its status; nothing of a run is kept JVM-wide.
//
// The library defines these classes from bytes embedded in it (no jar of
// its own; embed_class.cmake). They use no lambdas and no
// java.lang.reflect.Proxy: each would make the JVM generate classes at run
// time, on every start (some 60 classes, none of them in the class-data
// archive).
//
// What it changes from the command line:
//  - Saxon's quit() and badUsage() end the process with System.exit; here
//    they end only the run, with the same message and a nonzero status.
//  - Every name is a file name exactly as given, never a URI (RunOptions).
//  - It refuses up front what the command line would do differently from
//    "read this file, write that file": a source that is a directory (the
//    command line would transform every file in it) or not a regular file
//    (a pipe would block the run), a report whose directory does not exist
//    (it would create it), "-" (standard input), and names the JVM cannot
//    turn into the exact bytes of the file name. It refuses before the run,
//    in one line each, an empty stylesheet name (the command line prints
//    its whole option list) and reports that cannot be written, which the
//    command line finds only once it writes (ReportFile.refusal).
//  - The source document is parsed as hostile (SourceGuard), with line
//    numbers only when the run asks ("-l:on"), and stylesheets may read
//    them (SourceLines).
//  - Every other read of the run goes through its rules (RunReads,
//    RunResolvers): a user's document, however reached, is parsed as the
//    source is; a run with a scope reads nothing outside it.
//  - The report is put in place whole (ReportFile). The base output URI
//    stays the report path, so relative xsl:result-document hrefs resolve
//    as they would on the command line.
//  - After a run that ends normally it checks that the report exists.
//  - Every Throwable stays inside: the caller gets a status, never an
//    exception.
//
// Two kinds of run the command line does not have: with schema files
// ("-xsd:") and no stylesheet, a run validates the document against them
// (SchemaValidation) instead of transforming it; with "-err:<file>", any
// run writes what it would write on standard error to that file, so that
// a caller running several documents at once keeps each run's messages
// apart. Opening the file (a FIFO may block there) holds no lock another
// run needs.
//
// What differs between the engine library's own process and the engine
// server comes from the run's host (RunHost), installed once.
//
// The run happens on a fresh Java thread with a deep stack of its own
// (RUN_STACK), whatever the stack of the calling thread: deeply nested
// stylesheets and documents recurse in Saxon. Only this thread gets it;
// the JVM's other threads keep the default, so that their reservations
// stay small under a limit on address space (ulimit -v).

import java.io.File;
import java.util.ArrayList;
import java.util.List;
import javax.xml.transform.Source;
import javax.xml.transform.sax.SAXSource;
import net.sf.saxon.Configuration;
import net.sf.saxon.lib.Feature;
import net.sf.saxon.lib.Logger;
import net.sf.saxon.s9api.DocumentBuilder;
import net.sf.saxon.s9api.Processor;
import net.sf.saxon.s9api.SaxonApiException;
import net.sf.saxon.s9api.SchemaValidator;
import net.sf.saxon.s9api.Serializer;
import net.sf.saxon.s9api.XdmNode;
import net.sf.saxon.s9api.XdmValue;
import net.sf.saxon.s9api.Xslt30Transformer;
import net.sf.saxon.s9api.XsltExecutable;
import net.sf.saxon.expr.instruct.GlobalContextRequirement;
import net.sf.saxon.lib.AugmentedSource;
import net.sf.saxon.lib.Validation;
import net.sf.saxon.trans.CommandLineOptions;
import net.sf.saxon.trans.XPathException;
import net.sf.saxon.value.DateTimeValue;
import org.xml.sax.InputSource;

public final class XslvalidateRun extends net.sf.saxon.Transform implements Runnable {
  // Status of a run that failed; the command line exits with 2 as well.
  private static final int FAILED = 2;

  // Stack of the run's thread, in bytes.
  private static final long RUN_STACK = 64L << 20;

  // Written to a run's message file (-err:) once its stylesheet is
  // compiled and before the source is read: what comes before it the
  // compile wrote (the engine server writes a reused compile's warnings
  // again), what comes after it the run over this document. The engine
  // library (src/engine/bridge.cpp) splits the file there and drops it.
  static final String RUN_MESSAGES_MARK = "\u0000xslvalidate-run-messages\n";

  // A stack overflow can strike inside a class's static initializer, which
  // leaves that class unusable for the rest of the process. Stack traces are
  // what Saxon builds while it handles an overflow, so their classes are
  // initialized here, on a shallow stack.
  static {
    for (StackTraceElement frame : Thread.currentThread().getStackTrace()) frame.toString();
    StartupPreparation.start();
    // Saxon keeps the System.err it finds when a configuration is made: the
    // dispatcher is there before any.
    RunErrors.install();
  }

  // What the process supplies to its runs (RunHost): the library's own
  // unless a host installed its own before the first run.
  private static volatile RunHost host = new LibraryHost();
  private static boolean hostInstalled;

  // The host of every run.
  static RunHost host() {
    return host;
  }

  // Makes `installed` the host of every run from now on; once, before any
  // run. Throws IllegalStateException on a second call.
  static synchronized void install(RunHost installed) {
    if (hostInstalled) throw new IllegalStateException("the run host is installed already");
    hostInstalled = true;
    host = installed;
  }

  private final RunOptions options;
  private int status = FAILED;

  // Nonzero once quit() or badUsage() has ended the run.
  private int quitStatus = 0;

  // Whether the run's one source document has been given its parser.
  private boolean sourceGuarded;

  // When the run started, and its last step ended (System.nanoTime()).
  private long lastStep;

  // Runs the transform command with `args` (each "-name:value"). Returns 0
  // when the run completed and its report exists, FAILED otherwise; the
  // reason is on System.err.
  // The run's standard error is chosen here, once it starts and again once
  // its messages file is open (RunHost.errorSink), and is the stream of
  // RunErrors for this thread and the threads it starts.
  public static int run(String[] args) {
    RunHost runHost = host;
    java.io.OutputStream messages = null;
    RunErrors.set(runHost.errorSink(null));
    try {
      RunOptions options = RunOptions.parse(args);
      if (options.errorFile != null) {
        try {
          messages = new java.io.FileOutputStream(options.errorFile);
        } catch (java.io.IOException e) {
          System.err.println("Cannot write messages to " + options.errorFile + ": "
              + e.getMessage());
          return FAILED;
        }
        RunErrors.set(runHost.errorSink(messages));
      }
      XslvalidateRun transform = new XslvalidateRun(options);
      // This thread owns the run: whatever temporary file the worker left,
      // however it ended (stopped in the engine server), is removed here.
      java.util.Set<java.nio.file.Path> temporaries = RunTemporaries.begin();
      // What the run may read holds for the worker and every thread it starts.
      RunReads.begin(options);
      try {
        Thread worker = new Thread(null, transform, "xslvalidate-transform", RUN_STACK);
        worker.start();
        worker.join();
      } finally {
        RunReads.end();
        RunTemporaries.end(temporaries);
      }
      return transform.status;
    } catch (Throwable t) {
      report(t);
      return FAILED;
    } finally {
      System.err.flush();
      RunErrors.set(null);
      if (messages != null) {
        try {
          messages.close();
        } catch (java.io.IOException ignored) {
          // What was written has been written.
        }
      }
    }
  }

  private XslvalidateRun(RunOptions options) {
    this.options = options;
  }

  // The worker thread's body: the run, its status kept for run(String[]).
  @Override
  public void run() {
    status = runHere();
  }

  private int runHere() {
    lastStep = System.nanoTime();
    try {
      String refusal = options.refusal();
      if (refusal != null) {
        System.err.println(refusal);
        return FAILED;
      }
      if (options.validatesSchemas()) return SchemaValidation.run(options, host);
      Processor shared = host.processor();
      if (shared != null) processor = shared;
      try {
        doTransform(options.saxonArguments(), "java net.sf.saxon.Transform");
      } catch (Throwable t) {
        if (quitStatus != 0) return quitStatus;
        throw t;
      }
      if (quitStatus != 0) return quitStatus;
      if (options.report != null && !options.report.isFile()) {
        System.err.println("Report " + options.report + " was not written");
        return FAILED;
      }
      return 0;
    } catch (Throwable t) {
      report(t);
      return FAILED;
    }
  }

  private static void report(Throwable t) {
    try {
      if (host.takesFailure(t)) return;
      System.err.println("Fatal error during transformation: " + t);
    } catch (Throwable ignored) {
      // Nothing left to tell the user with.
    }
  }

  // Gives the source document, read from the run's own source file, a
  // guarded parser of its own (Saxon would otherwise take one from its
  // shared pool). A run has one source document.
  @Override
  public List<Source> preprocess(List<Source> sources) throws XPathException {
    if (sources.size() != 1 || sourceGuarded || options.source == null) {
      throw new XPathException("Unexpected source documents: " + sources);
    }
    sourceGuarded = true;
    try {
      InputSource input = new InputSource(options.source.getAbsoluteFile().toURI().toString());
      List<Source> guarded = new ArrayList<>(1);
      guarded.add(new SAXSource(
          SourceGuard.newGuardedParser(StartupPreparation.parserFactoryClass()), input));
      return guarded;
    } catch (Exception e) {
      throw new XPathException("Cannot set up the parser for the source document: " + e, e);
    }
  }

  // What the command line does for one source document and stylesheet,
  // with the principal output going to the run's ReportFile instead of a
  // file Saxon opens itself, and the base output URI the report path.
  @Override
  protected void processFile(Source source, XsltExecutable sheet, File output,
                             CommandLineOptions commandLine, Logger traceDestination)
      throws SaxonApiException {
    if (output == null || options.report == null || commandLine.getOptionValue("it") != null) {
      super.processFile(source, sheet, output, commandLine, traceDestination);
      return;
    }
    lastStep = Diagnostics.step("compile", lastStep);
    if (options.errorFile != null) {
      System.err.print(RUN_MESSAGES_MARK);
      System.err.flush();
    }
    ReportFile report = new ReportFile(options.report);
    boolean placed = false;
    try {
      Xslt30Transformer transformer = newTransformer(sheet, commandLine, traceDestination);
      DateTimeValue now = host.currentDateTime();
      if (now != null) {
        try {
          transformer.getUnderlyingController().setCurrentDateTime(now);
        } catch (XPathException e) {
          throw new SaxonApiException(e);
        }
      }
      Serializer serializer = transformer.newSerializer(report);
      transformer.setBaseOutputURI(options.report.getAbsoluteFile().toURI().toString());
      try {
        commandLine.setSerializationProperties(serializer);
      } catch (IllegalArgumentException e) {
        quit(e.getMessage(), 2);
      }
      source = withGlobalContextItem(source, sheet, transformer);
      commandLine.applyFileParams(processor, transformer);
      if (buildsTree(serializer)) {
        transformer.applyTemplates(source, serializer);
      } else {
        XdmValue result = transformer.applyTemplates(source);
        serializer.serializeXdmValue(result);
      }
      lastStep = Diagnostics.step("transform", lastStep);
      report.complete();
      placed = true;
      lastStep = Diagnostics.step("write", lastStep);
    } catch (java.io.IOException e) {
      throw new SaxonApiException("Cannot put report " + options.report + " in place: " + e);
    } finally {
      if (!placed) report.discard();
    }
  }

  // As the command line: the serializer builds a tree unless told not to or
  // its method is json or adaptive.
  private static boolean buildsTree(Serializer serializer) {
    String buildTree = serializer.getOutputProperty(Serializer.Property.BUILD_TREE);
    if ("yes".equals(buildTree)) return true;
    if ("no".equals(buildTree)) return false;
    String method = serializer.getOutputProperty(Serializer.Property.METHOD);
    return !"json".equals(method) && !"adaptive".equals(method);
  }

  // As the command line: unless the stylesheet asks for no context item or
  // streams its initial mode, the source is built as a tree first and made
  // the global context item; returns the source to apply templates to.
  private Source withGlobalContextItem(Source source, XsltExecutable sheet,
                                       Xslt30Transformer transformer)
      throws SaxonApiException {
    GlobalContextRequirement requirement =
        sheet.getUnderlyingCompiledStylesheet().getGlobalContextRequirement();
    boolean build = requirement == null
        ? !transformer.getUnderlyingController().getInitialMode().isDeclaredStreamable()
        : !requirement.isAbsentFocus();
    if (!build) return source;
    DocumentBuilder builder = processor.newDocumentBuilder();
    if (!sheet.getUnderlyingCompiledStylesheet().getTopLevelPackage()
        .isStripsTypeAnnotations()) {
      int validation = getConfiguration().getSchemaValidationMode();
      if (validation == Validation.STRICT) {
        builder.setSchemaValidator(processor.getSchemaManager().newSchemaValidator());
      } else if (validation == Validation.LAX) {
        SchemaValidator lax = processor.getSchemaManager().newSchemaValidator();
        lax.setLax(true);
        builder.setSchemaValidator(lax);
      }
    }
    builder.setDTDValidation(getConfiguration().getBooleanProperty(Feature.DTD_VALIDATION));
    builder.setLineNumbering(options.lineNumbers);
    builder.setWhitespaceStrippingPolicy(sheet.getWhitespaceStrippingPolicy());
    if (getConfiguration().getBooleanProperty(Feature.DTD_VALIDATION_RECOVERABLE)) {
      source = new AugmentedSource(source, getConfiguration().getParseOptions());
    }
    XdmNode document = builder.build(source);
    transformer.setGlobalContextItem(document, true);
    return document.asSource();
  }

  // A configuration the run makes itself (when the host shares no
  // processor) knows the source-line functions and reads through the run's
  // rules (RunResolvers), as a host's shared one must. (Before the run's
  // compiler is made, which takes its resolver from the configuration
  // then.)
  @Override
  protected void initializeConfiguration(net.sf.saxon.Configuration config) {
    super.initializeConfiguration(config);
    SourceLines.register(config);
    if (host.processor() == null) RunResolvers.install(config);
  }

  // The command line prints the message and exits; here the message is
  // printed and the run ends. An Error, not an Exception, leaves
  // doTransform, whose catch-all for Exception would report it a second time.
  @Override
  protected void quit(String message, int code) {
    System.err.println(message);
    quitStatus = code != 0 ? code : FAILED;
    throw new Error(message);
  }

  @Override
  protected void badUsage(String message) {
    allowExit = false;  // makes the command line's usage text throw, not exit
    try {
      super.badUsage(message);
    } catch (RuntimeException afterUsageText) {
      // The usage text has been printed.
    }
    quitStatus = FAILED;
    throw new Error(message);
  }
}
