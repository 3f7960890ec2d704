// The URI resolver of one compile for the cache: reads every module that
// xsl:include and xsl:import name, hashes its bytes and hands Saxon exactly
// those bytes, so what is recorded is what was compiled. A module that is
// not a local file makes the compile one not to keep; Saxon then resolves
// it as it always does. Once the compile is over it resolves nothing.
import java.io.ByteArrayInputStream;
import java.io.File;
import java.net.URI;
import javax.xml.transform.Source;
import javax.xml.transform.TransformerException;
import javax.xml.transform.URIResolver;
import javax.xml.transform.stream.StreamSource;
import net.sf.saxon.functions.ResolveURI;

final class ModuleRecorder implements URIResolver {
  private final URIResolver previous;
  final SourceFiles modules = new SourceFiles();
  boolean keepable = true;
  volatile boolean closed;

  ModuleRecorder(URIResolver previous) {
    this.previous = previous;
  }

  // Reads and records `file`; returns its bytes, or null (and makes the
  // compile one not to keep) when it cannot be read.
  byte[] record(File file) {
    try {
      return modules.read(file);
    } catch (Exception e) {
      keepable = false;
      return null;
    }
  }

  @Override
  public Source resolve(String href, String base) throws TransformerException {
    if (closed) return previous == null ? null : previous.resolve(href, base);
    File file = null;
    String absolute = null;
    try {
      URI uri = ResolveURI.makeAbsolute(href, base);
      absolute = new URI(uri.getScheme(), uri.getSchemeSpecificPart(), null).toString();
      file = SourceFiles.localFile(absolute);
    } catch (Exception e) {
      file = null;
    }
    byte[] content = file == null ? null : record(file);
    if (content == null) {
      keepable = false;
      return previous == null ? null : previous.resolve(href, base);
    }
    return new StreamSource(new ByteArrayInputStream(content), absolute);
  }
}
