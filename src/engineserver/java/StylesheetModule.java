// One stylesheet module as an XML parser delivers it (character and entity
// references, encodings and whitespace in names already resolved): whether
// it holds anything evaluated while the stylesheet compiles, and the
// modules it includes or imports. The engine server decides on this, never
// on the module's text, whether it may compile the stylesheet for a
// caller: a compile that evaluates expressions (use-when, static
// parameters and variables, shadow attributes) does so with the server's
// clock and its own view of files and properties, and a document type
// declaration has the parser read entities and an external subset out of
// the resolvers' sight. Such a stylesheet runs in the caller's own process.
import java.io.ByteArrayInputStream;
import java.io.StringReader;
import java.util.ArrayList;
import java.util.List;
import javax.xml.parsers.SAXParser;
import javax.xml.parsers.SAXParserFactory;
import org.xml.sax.Attributes;
import org.xml.sax.InputSource;
import org.xml.sax.SAXException;
import org.xml.sax.ext.DefaultHandler2;

final class StylesheetModule {
  private static final String XSLT = "http://www.w3.org/1999/XSL/Transform";

  // Why the module cannot be compiled for a caller, or null when it can
  // (also when it is not well-formed: the compile then fails the same way
  // everywhere).
  final String staticConstruct;

  // The href attributes of its xsl:include and xsl:import elements, as
  // written.
  final List<String> incorporated;

  private StylesheetModule(String staticConstruct, List<String> incorporated) {
    this.staticConstruct = staticConstruct;
    this.incorporated = incorporated;
  }

  // Thrown to end the parse at the first construct found.
  private static final class Found extends SAXException {
    private static final long serialVersionUID = 1L;

    Found(String why) {
      super(why);
    }
  }

  private static final class Scan extends DefaultHandler2 {
    final List<String> incorporated = new ArrayList<>();

    @Override
    public void startDTD(String name, String publicId, String systemId) throws SAXException {
      throw new Found("declares a document type");
    }

    @Override
    public InputSource resolveEntity(String name, String publicId, String base, String systemId) {
      return new InputSource(new StringReader(""));  // nothing is read from elsewhere
    }

    @Override
    public void startElement(String uri, String local, String qualified, Attributes attributes)
        throws SAXException {
      boolean instruction = XSLT.equals(uri);
      for (int i = 0; i < attributes.getLength(); ++i) {
        String name = attributes.getLocalName(i);
        String namespace = attributes.getURI(i);
        // On XSLT elements the standard attributes have no namespace; on
        // any other element they are in the XSLT namespace.
        boolean standard = instruction ? namespace.isEmpty() : XSLT.equals(namespace);
        if (!standard) continue;
        if (name.equals("use-when") || name.startsWith("_")
            || (instruction && name.equals("static"))) {
          throw new Found("evaluates " + (name.startsWith("_") ? "a shadow attribute"
                                          : name.equals("static") ? "a static declaration"
                                          : "use-when") + " while compiling");
        }
      }
      if (instruction && (local.equals("include") || local.equals("import"))) {
        String href = attributes.getValue("", "href");
        if (href != null) incorporated.add(href);
      }
    }
  }

  // The module whose bytes are `content` and whose URI is `systemId`.
  static StylesheetModule of(byte[] content, String systemId) {
    Scan scan = new Scan();
    try {
      SAXParserFactory factory = SAXParserFactory.newDefaultInstance();
      factory.setNamespaceAware(true);
      SAXParser parser = factory.newSAXParser();
      parser.setProperty("http://xml.org/sax/properties/lexical-handler", scan);
      InputSource input = new InputSource(new ByteArrayInputStream(content));
      input.setSystemId(systemId);
      parser.parse(input, scan);
    } catch (Found found) {
      return new StylesheetModule(found.getMessage(), scan.incorporated);
    } catch (Exception notWellFormed) {
      // Saxon reports it when it compiles the module.
    }
    return new StylesheetModule(null, scan.incorporated);
  }
}
