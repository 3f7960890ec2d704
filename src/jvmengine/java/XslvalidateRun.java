// One transform run for the engine library, on Saxon-HE's own command-line
// class, so reports come out exactly as `java net.sf.saxon.Transform` writes
// them.
//
// The library defines this class from bytes embedded in it (no jar of its
// own), so it must compile to a single class file: no nested or anonymous
// classes. It also uses no lambdas and no java.lang.reflect.Proxy: each
// would make the JVM generate classes at run time, on every start (some 60
// classes, none of them in the class-data archive); the interfaces they
// served are implemented by this class itself.
//
// What it changes from the command line:
//  - Saxon's quit() and badUsage() end the process with System.exit; here
//    they end only the run, with the same message and a nonzero status.
//  - It refuses up front what the command line would do differently from
//    "read this file, write that file": a source that is a directory (the
//    command line would transform every file in it), a report whose
//    directory does not exist (it would create it), "-" (standard input),
//    and names the JVM cannot turn into the exact bytes of the file name.
//  - The source document comes from outside and is parsed as hostile (the
//    stylesheets, and documents they load themselves, are trusted and parsed
//    as the command line parses them): a document that declares a DOCTYPE
//    is refused as soon as the parser meets it, before any entity is
//    declared or any external subset or entity is read, and so is one that
//    nests elements deeper than MAX_DEPTH. Behind that rule the parser
//    still resolves no external entity and no external DTD, and runs with
//    its secure-processing limits.
//  - The report is written to a new temporary file beside it and renamed
//    over the report path only once the run has completed, so a reader of
//    that path sees the old file or the whole new report, never part of
//    one, and a symbolic link at that path is replaced, not written
//    through. A failed run removes its temporary file and leaves the report
//    path as it was. The base output URI stays the report path, so
//    relative xsl:result-document hrefs resolve as they would on the
//    command line.
//  - Stylesheets for a source document of at most UNOPTIMISED_UP_TO_BYTES
//    are compiled with "-opt:lvt" (withOptimisationFor): same results,
//    less compile time.
//  - JAXP's parser factory property names the class that JAXP's own lookup
//    finds on the class path (nameTheParserFactory): the same parser,
//    without the lookup.
//  - After a run that ends normally it checks that the report exists.
//  - Every Throwable stays inside: the caller gets a status, never an
//    exception.
//
// The run happens on a fresh Java thread, so its stack is the JVM's thread
// stack size (-Xss), whatever the stack of the calling native thread.

import java.io.BufferedReader;
import java.io.File;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.RandomAccessFile;
import java.net.URL;
import java.nio.charset.Charset;
import java.nio.charset.CharsetEncoder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.Enumeration;
import java.util.List;
import java.util.concurrent.ThreadLocalRandom;
import javax.xml.XMLConstants;
import javax.xml.parsers.SAXParserFactory;
import javax.xml.transform.Source;
import javax.xml.transform.sax.SAXSource;
import javax.xml.transform.stream.StreamSource;
import net.sf.saxon.lib.Logger;
import net.sf.saxon.s9api.Processor;
import net.sf.saxon.s9api.SaxonApiException;
import net.sf.saxon.s9api.Xslt30Transformer;
import net.sf.saxon.s9api.XsltExecutable;
import net.sf.saxon.trans.CommandLineOptions;
import net.sf.saxon.trans.XPathException;
import net.sf.saxon.value.DateTimeValue;
import org.xml.sax.Attributes;
import org.xml.sax.ContentHandler;
import org.xml.sax.DTDHandler;
import org.xml.sax.EntityResolver;
import org.xml.sax.ErrorHandler;
import org.xml.sax.InputSource;
import org.xml.sax.Locator;
import org.xml.sax.SAXException;
import org.xml.sax.SAXNotRecognizedException;
import org.xml.sax.SAXNotSupportedException;
import org.xml.sax.SAXParseException;
import org.xml.sax.XMLReader;
import org.xml.sax.ext.LexicalHandler;

// Besides running the transform (as the Runnable of its worker thread), an
// instance stands between the source document's parser and Saxon for the
// one run it serves: Saxon sees it as the parser (XMLReader), the parser
// sees it as content and lexical handler and entity resolver. These
// interfaces cannot live in classes of their own.
public final class XslvalidateRun extends net.sf.saxon.Transform
    implements Runnable, XMLReader, ContentHandler, LexicalHandler, EntityResolver {
  // Status of a run that failed; the command line exits with 2 as well.
  private static final int FAILED = 2;

  // Deepest element nesting accepted in a source document. Invoices nest a
  // few dozen levels; deeper input only serves to exhaust the stack of the
  // parser, the tree builder or the stylesheet's recursion.
  static final int MAX_DEPTH = 10_000;

  // Largest source document, in bytes, whose stylesheets are compiled
  // without Saxon's general optimisation (withOptimisationFor).
  static final long UNOPTIMISED_UP_TO_BYTES = 512 * 1024;

  // JAXP's system property for the SAX parser factory class.
  static final String SAX_PARSER_FACTORY = "javax.xml.parsers.SAXParserFactory";

  private static final String LEXICAL_HANDLER = "http://xml.org/sax/properties/lexical-handler";

  // Longest part of the report's name kept in its temporary file's name, in
  // UTF-8 bytes, so the temporary name stays within a file name's 255 bytes.
  private static final int MAX_TEMPORARY_STEM_BYTES = 200;

  // A stack overflow can strike inside a class's static initializer, which
  // leaves that class unusable for the rest of the process. Stack traces are
  // what Saxon builds while it handles an overflow, so their classes are
  // initialized here, on a shallow stack.
  static {
    for (StackTraceElement frame : Thread.currentThread().getStackTrace()) frame.toString();
  }

  // Start-up work of the JDK that every run waits for, done on a thread of
  // its own so that it overlaps Saxon's own start instead of following it.
  static {
    Thread preparing = new Thread(null, new XslvalidateRun(null), "xslvalidate-prepare", 0);
    preparing.setDaemon(true);
    preparing.start();
  }

  // Set by the engine server (src/jvmengine/server): the processor all its
  // runs share, whose compilers keep what they compile; null in the
  // library's own process, where each run makes its own. Runs on it are
  // compiled exactly as the command line compiles.
  public static volatile Processor sharedProcessor;

  // Set by the engine server for each run (its threads inherit it): the
  // current date and time in the caller's time zone; unset in the library's
  // own process, where Saxon takes the JVM's.
  public static final InheritableThreadLocal<DateTimeValue> runDateTime =
      new InheritableThreadLocal<>();

  // The arguments of the run and its status once it has ended.
  private final String[] args;
  private int status = FAILED;

  // Nonzero once quit() or badUsage() has ended the run.
  private int quitStatus = 0;

  // The platform's parser of the source document, which this instance
  // guards, once made.
  private XMLReader parser;

  // Saxon's handlers for the source document, which this instance passes
  // the parser's events on to, and where the parser is.
  private ContentHandler sourceContent;
  private LexicalHandler sourceLexical;
  private Locator sourceLocator;
  private int depth;

  // The transformer of the run and the URI of its final report, once known.
  private Xslt30Transformer transformer;
  private String reportUri;

  // Runs the transform command with `args` (each "-name:value"). Returns 0
  // when the run completed and its report exists, FAILED otherwise; the
  // reason is on System.err.
  public static int run(String[] args) {
    try {
      XslvalidateRun transform = new XslvalidateRun(args);
      Thread worker = new Thread(null, transform, "xslvalidate-transform", 0);
      worker.start();
      worker.join();
      return transform.status;
    } catch (Throwable t) {
      report(t);
      return FAILED;
    } finally {
      System.err.flush();
    }
  }

  private XslvalidateRun(String[] args) {
    this.args = args;
  }

  // The worker thread's body: one run, its status kept for run(String[]);
  // for the instance without arguments, prepare().
  @Override
  public void run() {
    if (args == null) {
      prepare();
      return;
    }
    status = runHere();
  }

  // Names the XML parser factory (nameTheParserFactory), then opens every
  // jar of the class path, as the first run would: Xerces looks on the
  // class path for a parser configuration that no jar names, and the JDK
  // for providers of time-zone rules, and each such lookup of a resource
  // that no jar holds opens them all. Whether the run's first parser
  // lookup comes before or after the name is set, it gets the same class;
  // opening the jars only fills the class loader's cache of open jars.
  private static void prepare() {
    nameTheParserFactory();
    try {
      Enumeration<URL> none = ClassLoader.getSystemClassLoader().getResources(
          "META-INF/services/org.apache.xerces.xni.parser.XMLParserConfiguration");
      while (none.hasMoreElements()) none.nextElement();
    } catch (Throwable ignored) {
      // The run's own lookups meet the same jars and report what goes wrong.
    }
  }

  // Names, in JAXP's system property, the SAX parser factory that JAXP's
  // own lookup finds on the class path: the first provider listed in the
  // service file of the first jar that has one (java.util.ServiceLoader's
  // order and file syntax). JAXP then takes that class at once, the same
  // class as the command line gets, instead of first reading its own
  // configuration (which makes the JDK generate a dozen method-handle
  // classes, some 10 ms of each start) and then every jar. Leaves the
  // property alone, and the lookup as it is, when it is set already, when
  // the JDK has a jaxp.properties (read before the class path), when no jar
  // names a provider, or when anything goes wrong.
  static void nameTheParserFactory() {
    try {
      if (System.getProperty(SAX_PARSER_FACTORY) != null) return;
      File jdkConfiguration = new File(System.getProperty("java.home"), "conf/jaxp.properties");
      if (jdkConfiguration.exists()) return;
      URL list = ClassLoader.getSystemResource("META-INF/services/" + SAX_PARSER_FACTORY);
      if (list == null) return;
      String provider = firstProvider(list);
      if (provider != null) System.setProperty(SAX_PARSER_FACTORY, provider);
    } catch (Throwable e) {
      // The property stays unset and JAXP looks the factory up itself.
    }
  }

  // The first provider class named in a service file: UTF-8 lines, each
  // stripped of a '#' comment and of white space; null if none names one.
  private static String firstProvider(URL list) throws IOException {
    try (BufferedReader lines = new BufferedReader(
             new InputStreamReader(list.openStream(), StandardCharsets.UTF_8))) {
      for (String line = lines.readLine(); line != null; line = lines.readLine()) {
        int comment = line.indexOf('#');
        String name = (comment < 0 ? line : line.substring(0, comment)).trim();
        if (!name.isEmpty()) return name;
      }
      return null;
    }
  }

  private int runHere() {
    try {
      String refusal = refusal(args);
      if (refusal != null) {
        System.err.println(refusal);
        return FAILED;
      }
      Processor shared = sharedProcessor;
      if (shared != null) processor = shared;
      try {
        doTransform(shared != null ? args : withOptimisationFor(args),
                    "java net.sf.saxon.Transform");
      } catch (Throwable t) {
        if (quitStatus != 0) return quitStatus;
        throw t;
      }
      if (quitStatus != 0) return quitStatus;
      String report = lastValue(args, "-o:");
      if (report != null && !new File(report).isFile()) {
        System.err.println("Report " + report + " was not written");
        return FAILED;
      }
      return 0;
    } catch (Throwable t) {
      report(t);
      return FAILED;
    }
  }

  // The run's arguments, with Saxon's general rewrite pass left out of
  // stylesheet compilation when the source document is small: "-opt:lvt"
  // keeps loop lifting, variable inlining and tail calls and drops the
  // rest of what Saxon-HE optimises. The pass is most of the compile time
  // of a large generated rule set (EN 16931 for UBL: some 150 ms of 900)
  // and pays back only on large documents: an invoice of 1,000 lines
  // (480 KB) validates faster without it, one of 10,000 lines (4.8 MB)
  // takes half as long again. Optimisations do not change what a
  // stylesheet computes, so the reports are the same either way.
  private static String[] withOptimisationFor(String[] args) {
    String source = lastValue(args, "-s:");
    if (source == null || new File(source).length() > UNOPTIMISED_UP_TO_BYTES) return args;
    String[] reduced = new String[args.length + 1];
    reduced[0] = "-opt:lvt";
    System.arraycopy(args, 0, reduced, 1, args.length);
    return reduced;
  }

  // Describes why `args` must not reach Saxon, or returns null.
  private static String refusal(String[] args) {
    CharsetEncoder fileNames = fileNameEncoder();
    for (String arg : args) {
      int colon = arg.indexOf(':');
      String value = colon < 0 ? arg : arg.substring(colon + 1);
      if (fileNames != null && !fileNames.canEncode(value)) {
        return "Cannot represent the file name " + value + " in the JVM's file name encoding "
            + System.getProperty("sun.jnu.encoding");
      }
      if ((arg.startsWith("-s:") || arg.startsWith("-xsl:")) && value.equals("-")) {
        return "Reading from standard input is not supported: " + arg;
      }
    }
    String source = lastValue(args, "-s:");
    if (source != null && new File(source).isDirectory()) {
      return "Source document " + source + " is a directory";
    }
    String report = lastValue(args, "-o:");
    if (report != null) {
      File parent = new File(report).getAbsoluteFile().getParentFile();
      if (parent != null && !parent.isDirectory()) {
        return "Cannot write report " + report + ": directory " + parent + " does not exist";
      }
    }
    return null;
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

  private static String lastValue(String[] args, String prefix) {
    String value = null;
    for (String arg : args) {
      if (arg.startsWith(prefix)) value = arg.substring(prefix.length());
    }
    return value;
  }

  private static void report(Throwable t) {
    try {
      System.err.println("Fatal error during transformation: " + t);
    } catch (Throwable ignored) {
      // Nothing left to tell the user with.
    }
  }

  // ---- The source document, parsed as hostile ----

  // Gives each source document a parser of its own, guarded by this
  // instance (Saxon would otherwise take one from its shared pool).
  @Override
  public List<Source> preprocess(List<Source> sources) throws XPathException {
    List<Source> guarded = new ArrayList<>(sources.size());
    for (Source source : sources) {
      if (!(source instanceof StreamSource)) {
        throw new XPathException("Unexpected kind of source document: " + source);
      }
      StreamSource stream = (StreamSource) source;
      InputSource input = new InputSource(stream.getSystemId());
      input.setPublicId(stream.getPublicId());
      input.setByteStream(stream.getInputStream());
      input.setCharacterStream(stream.getReader());
      guarded.add(new SAXSource(guardedParser(), input));
    }
    return guarded;
  }

  // The platform's SAX parser (the one Saxon itself would use) with
  // external entities and DTDs off, secure processing on, this instance as
  // its entity resolver, and this instance between it and the content and
  // lexical handlers Saxon sets: Saxon is handed this instance as the
  // parser, and it keeps those places for itself (the XMLReader methods
  // below). A run has one source document, so one parser.
  private XMLReader guardedParser() throws XPathException {
    if (parser != null) {
      throw new XPathException("Unexpected second source document");
    }
    try {
      SAXParserFactory factory = SAXParserFactory.newInstance();
      factory.setFeature(XMLConstants.FEATURE_SECURE_PROCESSING, true);
      XMLReader parser = factory.newSAXParser().getXMLReader();
      parser.setFeature("http://xml.org/sax/features/external-general-entities", false);
      parser.setFeature("http://xml.org/sax/features/external-parameter-entities", false);
      parser.setFeature("http://apache.org/xml/features/nonvalidating/load-external-dtd", false);
      parser.setEntityResolver(this);
      parser.setContentHandler(this);
      parser.setProperty(LEXICAL_HANDLER, this);
      this.parser = parser;
      return this;
    } catch (Exception e) {
      throw new XPathException("Cannot set up the parser for the source document: " + e, e);
    }
  }

  // ---- XMLReader: the guarded parser as Saxon sees it ----

  @Override
  public void setContentHandler(ContentHandler handler) {
    sourceContent = handler;
  }

  @Override
  public ContentHandler getContentHandler() {
    return sourceContent;
  }

  @Override
  public void setEntityResolver(EntityResolver resolver) {
    // This instance stays the resolver.
  }

  @Override
  public EntityResolver getEntityResolver() {
    return parser.getEntityResolver();
  }

  @Override
  public void setProperty(String name, Object value)
      throws SAXNotRecognizedException, SAXNotSupportedException {
    if (LEXICAL_HANDLER.equals(name)) {
      sourceLexical = (LexicalHandler) value;
    } else {
      parser.setProperty(name, value);
    }
  }

  @Override
  public Object getProperty(String name)
      throws SAXNotRecognizedException, SAXNotSupportedException {
    return LEXICAL_HANDLER.equals(name) ? sourceLexical : parser.getProperty(name);
  }

  @Override
  public void setFeature(String name, boolean value)
      throws SAXNotRecognizedException, SAXNotSupportedException {
    parser.setFeature(name, value);
  }

  @Override
  public boolean getFeature(String name)
      throws SAXNotRecognizedException, SAXNotSupportedException {
    return parser.getFeature(name);
  }

  @Override
  public void setDTDHandler(DTDHandler handler) {
    parser.setDTDHandler(handler);
  }

  @Override
  public DTDHandler getDTDHandler() {
    return parser.getDTDHandler();
  }

  @Override
  public void setErrorHandler(ErrorHandler handler) {
    parser.setErrorHandler(handler);
  }

  @Override
  public ErrorHandler getErrorHandler() {
    return parser.getErrorHandler();
  }

  @Override
  public void parse(InputSource input) throws IOException, SAXException {
    useReportPathAsBaseOutputUri();
    parser.parse(input);
  }

  @Override
  public void parse(String systemId) throws IOException, SAXException {
    useReportPathAsBaseOutputUri();
    parser.parse(systemId);
  }

  // The report's serializer exists by the time the source is parsed, and
  // making it set the base output URI to its file: the temporary one. The
  // stylesheet must see the report path instead.
  private void useReportPathAsBaseOutputUri() {
    if (transformer != null && reportUri != null) transformer.setBaseOutputURI(reportUri);
  }

  private SAXParseException rejection(String message) {
    return new SAXParseException(message, sourceLocator);
  }

  // A DOCTYPE is where entities and external subsets are declared; the
  // parser reports it before it reads any of them.
  @Override
  public void startDTD(String name, String publicId, String systemId) throws SAXException {
    throw rejection("The document declares a DOCTYPE (" + name + "): documents to validate may"
        + " not have a DTD, so no entity in them is expanded and no external file is read");
  }

  @Override
  public InputSource resolveEntity(String publicId, String systemId) throws SAXException {
    throw rejection("The document refers to the external entity " + systemId
        + ": documents to validate may not read other files");
  }

  @Override
  public void startElement(String uri, String localName, String qName, Attributes attributes)
      throws SAXException {
    if (++depth > MAX_DEPTH) {
      throw rejection("The document nests elements more than " + MAX_DEPTH + " levels deep");
    }
    sourceContent.startElement(uri, localName, qName, attributes);
  }

  @Override
  public void endElement(String uri, String localName, String qName) throws SAXException {
    --depth;
    sourceContent.endElement(uri, localName, qName);
  }

  @Override
  public void setDocumentLocator(Locator locator) {
    sourceLocator = locator;
    if (sourceContent != null) sourceContent.setDocumentLocator(locator);
  }

  @Override
  public void startDocument() throws SAXException {
    depth = 0;
    sourceContent.startDocument();
  }

  @Override
  public void endDocument() throws SAXException {
    sourceContent.endDocument();
  }

  @Override
  public void startPrefixMapping(String prefix, String uri) throws SAXException {
    sourceContent.startPrefixMapping(prefix, uri);
  }

  @Override
  public void endPrefixMapping(String prefix) throws SAXException {
    sourceContent.endPrefixMapping(prefix);
  }

  @Override
  public void characters(char[] text, int start, int length) throws SAXException {
    sourceContent.characters(text, start, length);
  }

  @Override
  public void ignorableWhitespace(char[] text, int start, int length) throws SAXException {
    sourceContent.ignorableWhitespace(text, start, length);
  }

  @Override
  public void processingInstruction(String target, String data) throws SAXException {
    sourceContent.processingInstruction(target, data);
  }

  @Override
  public void skippedEntity(String name) throws SAXException {
    sourceContent.skippedEntity(name);
  }

  @Override
  public void declaration(String version, String encoding, String standalone)
      throws SAXException {
    sourceContent.declaration(version, encoding, standalone);
  }

  @Override
  public void endDTD() throws SAXException {
    if (sourceLexical != null) sourceLexical.endDTD();
  }

  @Override
  public void startEntity(String name) throws SAXException {
    if (sourceLexical != null) sourceLexical.startEntity(name);
  }

  @Override
  public void endEntity(String name) throws SAXException {
    if (sourceLexical != null) sourceLexical.endEntity(name);
  }

  @Override
  public void startCDATA() throws SAXException {
    if (sourceLexical != null) sourceLexical.startCDATA();
  }

  @Override
  public void endCDATA() throws SAXException {
    if (sourceLexical != null) sourceLexical.endCDATA();
  }

  @Override
  public void comment(char[] text, int start, int length) throws SAXException {
    if (sourceLexical != null) sourceLexical.comment(text, start, length);
  }

  // ---- The report, put in place whole ----

  @Override
  protected Xslt30Transformer newTransformer(XsltExecutable sheet, CommandLineOptions options,
                                             Logger traceDestination) throws SaxonApiException {
    transformer = super.newTransformer(sheet, options, traceDestination);
    DateTimeValue now = runDateTime.get();
    if (now != null) {
      try {
        transformer.getUnderlyingController().setCurrentDateTime(now);
      } catch (XPathException e) {
        throw new SaxonApiException(e);
      }
    }
    return transformer;
  }

  // Runs into a temporary file beside `output` and renames it over `output`
  // once the run has completed; removes it when the run fails.
  @Override
  protected void processFile(Source source, XsltExecutable sheet, File output,
                             CommandLineOptions options, Logger traceDestination)
      throws SaxonApiException {
    if (output == null) {
      super.processFile(source, sheet, null, options, traceDestination);
      return;
    }
    Path target = output.toPath();
    Path temporary;
    try {
      temporary = createTemporaryBeside(target);
    } catch (IOException e) {
      throw new SaxonApiException("Cannot create a temporary file for report " + output + ": "
          + e);
    }
    reportUri = output.toURI().toString();  // what Saxon makes of the -o: file
    boolean placed = false;
    try {
      super.processFile(source, sheet, temporary.toFile(), options, traceDestination);
      syncToDisk(temporary);
      Files.move(temporary, target, StandardCopyOption.ATOMIC_MOVE);
      placed = true;
    } catch (IOException e) {
      throw new SaxonApiException("Cannot put report " + output + " in place: " + e);
    } finally {
      if (!placed) {
        try {
          Files.deleteIfExists(temporary);
        } catch (IOException e) {
          System.err.println("Cannot remove temporary file " + temporary + ": " + e);
        }
      }
    }
  }

  // Creates a new, empty file ".<name of target>.<random>.tmp" in target's
  // directory, failing rather than opening anything already there. Its
  // mode is that of any new file (0666 less the umask).
  private static Path createTemporaryBeside(Path target) throws IOException {
    Path directory = target.toAbsolutePath().getParent();
    String stem = "." + prefixWithin(target.getFileName().toString(), MAX_TEMPORARY_STEM_BYTES)
        + ".";
    for (int attempt = 0;; ++attempt) {
      Path candidate = directory.resolve(
          stem + Long.toUnsignedString(ThreadLocalRandom.current().nextLong(), 36) + ".tmp");
      // O_CREAT|O_EXCL: fails on anything already there, a symbolic link
      // included, and follows none.
      if (candidate.toFile().createNewFile()) return candidate;
      if (attempt >= 100) throw new IOException("no free temporary name like " + candidate);
    }
  }

  // Flushes the written file at `path` to the disk. Refuses a symbolic link
  // there, which can only have been put in place of the file by someone
  // else. Plain java.io: a FileChannel would make the JDK load and set up
  // its network library on every start.
  private static void syncToDisk(Path path) throws IOException {
    if (Files.isSymbolicLink(path)) throw new IOException(path + " was replaced by a link");
    try (RandomAccessFile file = new RandomAccessFile(path.toFile(), "r")) {
      file.getFD().sync();
    }
  }

  // The longest prefix of `name`, whole code points only, whose UTF-8 form
  // has at most `maxBytes` bytes.
  private static String prefixWithin(String name, int maxBytes) {
    int end = 0;
    int bytes = 0;
    while (end < name.length()) {
      int next = name.offsetByCodePoints(end, 1);
      bytes += name.substring(end, next).getBytes(StandardCharsets.UTF_8).length;
      if (bytes > maxBytes) break;
      end = next;
    }
    return name.substring(0, end);
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
