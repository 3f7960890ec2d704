// Refuses file: URIs that name a host (file://host/path): the JDK opens
// those as an FTP connection to the host, so a stylesheet, a document or a
// schema naming one would reach out of the machine. Every resolver of a
// run, in the library's own process and in the engine server alike, goes
// through here: documents (doc(), document(), xsl:include, xsl:import),
// texts (unparsed-text() and its kin), external entities and DTDs of the
// documents Saxon parses, and the schema step's imports (CompiledSchema).
// An instance is the entity resolver Saxon makes for each parser of
// documents (Feature.ENTITY_RESOLVER_CLASS), and StyleParser the parser of
// stylesheet modules, so both are public with a public constructor.
import java.io.IOException;
import java.io.Reader;
import java.net.URI;
import javax.xml.parsers.SAXParserFactory;
import javax.xml.transform.Source;
import javax.xml.transform.TransformerException;
import javax.xml.transform.URIResolver;
import net.sf.saxon.Configuration;
import net.sf.saxon.functions.ResolveURI;
import net.sf.saxon.lib.Feature;
import net.sf.saxon.lib.UnparsedTextURIResolver;
import net.sf.saxon.trans.XPathException;
import org.xml.sax.EntityResolver;
import org.xml.sax.InputSource;
import org.xml.sax.SAXException;
import org.xml.sax.helpers.XMLFilterImpl;

public final class RemoteFiles implements EntityResolver {
  public RemoteFiles() {}

  // True when `uri` is a file: URI with a host part (even "localhost"),
  // which is never taken as a local file here.
  static boolean namesHost(String uri) {
    if (uri == null) return false;
    try {
      URI parsed = new URI(uri);
      String authority = parsed.getRawAuthority();
      return "file".equalsIgnoreCase(parsed.getScheme()) && authority != null
          && !authority.isEmpty();
    } catch (Exception notAUri) {
      return false;
    }
  }

  // The words every refusal uses.
  static String refusal(String uri) {
    return "Refused " + uri + ": a file URI that names a host is read over the network;"
        + " only local files are read";
  }

  // Puts the refusal in front of `config`'s resolvers; called once for a
  // configuration.
  static void refuseOn(Configuration config) {
    config.setURIResolver(new Documents(config.getURIResolver()));
    config.setUnparsedTextURIResolver(new Texts(config.getUnparsedTextURIResolver()));
    config.setConfigurationProperty(Feature.ENTITY_RESOLVER_CLASS, RemoteFiles.class.getName());
    config.setStyleParserClass(StyleParser.class.getName());
  }

  // The parser of stylesheet modules, which Saxon gives an entity resolver
  // of its own: the JDK's parser, with every external entity and DTD a
  // module names passing the refusal first.
  public static final class StyleParser extends XMLFilterImpl {
    public StyleParser() throws Exception {
      SAXParserFactory factory = SAXParserFactory.newInstance();
      factory.setNamespaceAware(true);
      setParent(factory.newSAXParser().getXMLReader());
    }

    @Override
    public InputSource resolveEntity(String publicId, String systemId)
        throws SAXException, IOException {
      if (namesHost(systemId)) throw new SAXException(refusal(systemId));
      return super.resolveEntity(publicId, systemId);
    }
  }

  // External entities and DTDs: refused when they name a host; otherwise
  // the parser reads them as it would.
  @Override
  public InputSource resolveEntity(String publicId, String systemId) throws SAXException {
    if (namesHost(systemId)) throw new SAXException(refusal(systemId));
    return null;
  }

  private static final class Documents implements URIResolver {
    private final URIResolver next;

    Documents(URIResolver next) {
      this.next = next;
    }

    @Override
    public Source resolve(String href, String base) throws TransformerException {
      String absolute;
      try {
        absolute = ResolveURI.makeAbsolute(href, base).toString();
      } catch (Exception e) {
        absolute = href;
      }
      if (namesHost(absolute)) throw new TransformerException(refusal(absolute));
      return next == null ? null : next.resolve(href, base);
    }
  }

  private static final class Texts implements UnparsedTextURIResolver {
    private final UnparsedTextURIResolver next;

    Texts(UnparsedTextURIResolver next) {
      this.next = next;
    }

    @Override
    public Reader resolve(URI uri, String encoding, Configuration config) throws XPathException {
      if (namesHost(uri.toString())) throw new XPathException(refusal(uri.toString()));
      return next.resolve(uri, encoding, config);
    }
  }
}
