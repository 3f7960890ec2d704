// The URI resolver of one compile for the cache: reads every module that
// xsl:include and xsl:import name, and every document the compile itself
// reads (doc() and doc-available() in static expressions), records its
// hash or its absence in the compile's inputs, and hands Saxon exactly the
// bytes recorded. A name that is not a local file makes the compile one not
// to keep; Saxon then resolves it as it always does. A module that names
// the caller's own files (CallerFiles) moves the run to the caller's own
// process. Once the compile is over it resolves nothing.
import java.io.ByteArrayInputStream;
import java.io.File;
import java.net.URI;
import java.nio.charset.StandardCharsets;
import javax.xml.transform.Source;
import javax.xml.transform.TransformerException;
import javax.xml.transform.URIResolver;
import javax.xml.transform.stream.StreamSource;
import net.sf.saxon.functions.ResolveURI;

final class ModuleRecorder implements URIResolver {
  private final URIResolver previous;
  final CompileInputs inputs;
  volatile boolean closed;

  ModuleRecorder(URIResolver previous, CompileInputs inputs) {
    this.previous = previous;
    this.inputs = inputs;
  }

  // Reads and records `file`; returns its bytes, or null when it does not
  // exist or cannot be read.
  byte[] record(File file) {
    if (CallerFiles.isCallersOwn(file)) {
      throw XslvalidateServer.moveInProcess("the stylesheet reads " + file);
    }
    byte[] content = inputs.read(file);
    if (content != null && CallerFiles.namedIn(content)) {
      throw XslvalidateServer.moveInProcess(file + " names a file of the caller's own process");
    }
    if (content != null) {
      String why = unrecordable(content);
      if (why != null) inputs.notKept(file + " " + why);
    }
    return content;
  }

  // Why a compile that read `content` cannot be recorded, or null. A
  // document type may declare entities and an external subset, which the
  // parser reads out of the resolver's sight. The clock read by a static
  // expression (use-when, static variables, shadow attributes) gives
  // another value on each compile.
  static String unrecordable(byte[] content) {
    if (contains(content, "<!DOCTYPE")) return "declares a document type";
    String text = new String(content, StandardCharsets.ISO_8859_1);
    boolean clock = text.contains("current-date") || text.contains("current-time")
        || text.contains("implicit-timezone");
    boolean staticExpressions =
        text.contains("use-when") || text.contains("static") || text.contains(" _");
    return clock && staticExpressions ? "may read the clock while compiling" : null;
  }

  // Whether `content` holds `ascii` encoded in one byte a character or in
  // UTF-16 of either byte order.
  private static boolean contains(byte[] content, String ascii) {
    String text = new String(content, StandardCharsets.ISO_8859_1);
    if (text.contains(ascii)) return true;
    StringBuilder little = new StringBuilder();
    StringBuilder big = new StringBuilder();
    for (char c : ascii.toCharArray()) {
      little.append(c).append('\0');
      big.append('\0').append(c);
    }
    return text.contains(little) || text.contains(big);
  }

  @Override
  public Source resolve(String href, String base) throws TransformerException {
    if (closed) return previous == null ? null : previous.resolve(href, base);
    String absolute = absoluteUri(href, base);
    File file = absolute == null ? null : SourceFiles.localFile(absolute);
    byte[] content = file == null ? null : record(file);
    if (content == null) {
      if (file == null) inputs.notKept("reads " + href + ", not a local file");
      return previous == null ? null : previous.resolve(href, base);
    }
    return new StreamSource(new ByteArrayInputStream(content), absolute);
  }

  // `href` made absolute against `base`, without a fragment; null when it
  // cannot be.
  static String absoluteUri(String href, String base) {
    try {
      URI uri = ResolveURI.makeAbsolute(href, base);
      return new URI(uri.getScheme(), uri.getSchemeSpecificPart(), null).toString();
    } catch (Exception e) {
      return null;
    }
  }
}
