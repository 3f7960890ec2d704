// The URI resolver of one compile for the cache: reads every module that
// xsl:include and xsl:import name, and every document the compile itself
// reads (doc() and doc-available() in static expressions), records its
// hash or its absence in the compile's inputs, and hands Saxon exactly the
// bytes recorded. A name that is not a local file makes the compile one not
// to keep; Saxon then resolves it as it always does. What the run may not
// read (RunReads: a file: URI with a host, a file outside its scope) is
// refused, and never read ahead. A module
// that reaches the caller's own files (CallerFiles) or is evaluated while
// compiling (StylesheetModule) moves the run to the caller's own process.
// Once the compile is over it resolves nothing.
import java.io.ByteArrayInputStream;
import java.io.File;
import java.net.URI;
import java.util.HashMap;
import java.util.Map;
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

  // The modules read ahead of the compile, by absolute URI: Saxon gets
  // exactly the bytes judged and recorded.
  private final Map<String, byte[]> modules = new HashMap<>();

  // Reads and records `file`, the module at `uri`; returns its bytes, or
  // null when it does not exist or cannot be read. A module that reaches
  // the caller's own files, or whose parsed form evaluates anything while
  // compiling or declares a document type (StylesheetModule), moves the
  // run to the caller's own process. So, before the compile starts, does
  // any module it includes or imports, at any depth, that is a local file:
  // nothing of the run has reached the caller yet.
  byte[] record(File file, String uri) {
    byte[] kept = modules.get(uri);
    if (kept != null) return kept;
    if (CallerFiles.isCallersOwn(file)) {
      throw XslvalidateServer.moveInProcess("the stylesheet reads " + file);
    }
    byte[] content = inputs.read(file);
    if (content == null) return null;
    modules.put(uri, content);
    StylesheetModule module = StylesheetModule.of(content, uri);
    if (module.staticConstruct != null) {
      throw XslvalidateServer.moveInProcess(file + " " + module.staticConstruct);
    }
    for (String href : module.incorporated) {
      String absolute = absoluteUri(href, uri);
      File included = absolute == null ? null : SourceFiles.localFile(absolute);
      if (included != null && RunReads.permitsNow(included)) record(included, absolute);
    }
    return content;
  }

  @Override
  public Source resolve(String href, String base) throws TransformerException {
    if (closed) return previous == null ? null : previous.resolve(href, base);
    String absolute = absoluteUri(href, base);
    String refusal = RunReads.refusal(absolute == null ? href : absolute);
    if (refusal != null) throw new TransformerException(refusal);
    File file = absolute == null ? null : SourceFiles.localFile(absolute);
    byte[] content = file == null ? null : record(file, absolute);
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
