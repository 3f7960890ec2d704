// The parser of the source document, which comes from outside and is parsed
// as hostile (the stylesheets, and documents they load themselves, are
// trusted and parsed as the command line parses them).
//
// A SAX filter between the platform's parser and Saxon: a document that
// declares a DOCTYPE is refused as soon as the parser meets it, before any
// entity is declared or any external subset or entity is read, and so is
// one that nests elements deeper than MAX_DEPTH or declares more than
// MAX_NAMESPACE_BINDINGS distinct namespace bindings. Behind that rule the
// parser still resolves no external entity and no external DTD (its
// features, and this filter as its entity resolver), and runs with its
// secure-processing limits.

import java.io.IOException;
import java.util.HashSet;
import javax.xml.XMLConstants;
import javax.xml.parsers.SAXParserFactory;
import org.xml.sax.Attributes;
import org.xml.sax.EntityResolver;
import org.xml.sax.InputSource;
import org.xml.sax.Locator;
import org.xml.sax.SAXException;
import org.xml.sax.SAXNotRecognizedException;
import org.xml.sax.SAXNotSupportedException;
import org.xml.sax.SAXParseException;
import org.xml.sax.XMLReader;
import org.xml.sax.ext.LexicalHandler;
import org.xml.sax.helpers.XMLFilterImpl;

final class SourceGuard extends XMLFilterImpl implements LexicalHandler {
  // Deepest element nesting accepted in a source document. Invoices nest a
  // few dozen levels; deeper input only serves to exhaust the stack of the
  // parser, the tree builder or the stylesheet's recursion.
  static final int MAX_DEPTH = 10_000;

  // Most distinct namespace bindings (prefix and URI pairs, the default
  // namespace counted with the prefix "") accepted in a source document.
  // Saxon's name pool and namespace maps look namespaces up by scanning
  // them, so a document that binds ever new ones costs time quadratic in
  // their number (doc/hostile-documents.md). Invoices declare a few dozen;
  // the same binding declared again on every element is counted once and
  // costs nothing.
  static final int MAX_NAMESPACE_BINDINGS = 1_000;

  // Where Apache Xerces (the parser JAXP finds with Debian's Saxon, as for
  // the command line) takes the namespace context its scanner declares
  // into. Counting there refuses a start tag with too many declarations
  // while the parser scans it, before its own check of each declaration
  // against the tag's earlier ones has cost time quadratic in their
  // number; startPrefixMapping would see them only after the whole tag.
  private static final String XERCES_NAMESPACE_CONTEXT =
      "http://apache.org/xml/properties/internal/namespace-context";

  private static final String LEXICAL_HANDLER = "http://xml.org/sax/properties/lexical-handler";

  // Saxon's lexical handler, which this filter passes lexical events on to.
  private LexicalHandler downstreamLexical;
  private Locator locator;
  private int depth;
  private final HashSet<String> namespaceBindings = new HashSet<>();

  private SourceGuard(XMLReader parser) throws SAXException {
    super(parser);
    parser.setProperty(LEXICAL_HANDLER, this);
  }

  // A guarded parser for one source document, on the SAX parser factory
  // class `factoryClass` (null: the one JAXP's lookup finds, as for the
  // command line). Throws when the parser cannot be made.
  static XMLReader newGuardedParser(String factoryClass) throws Exception {
    XMLReader parser = restrictedParser(factoryClass);
    SourceGuard guard = new SourceGuard(parser);
    guard.countInsideXerces(parser);
    return guard;
  }

  // Gives a Xerces parser a namespace context that counts bindings as they
  // are declared; any other parser is left as it is (this filter still
  // counts them in startPrefixMapping).
  private void countInsideXerces(XMLReader parser) {
    if (!parser.getClass().getName().startsWith("org.apache.xerces.")) return;
    try {
      parser.setProperty(XERCES_NAMESPACE_CONTEXT, new CountingNamespaces());
    } catch (SAXException | LinkageError notThisXerces) {
      // The count in startPrefixMapping stands alone.
    }
  }

  private final class CountingNamespaces extends org.apache.xerces.util.NamespaceSupport {
    @Override
    public boolean declarePrefix(String prefix, String uri) {
      String refusal = countBinding(prefix, uri);
      if (refusal != null) throw new org.apache.xerces.xni.XNIException(refusal);
      return super.declarePrefix(prefix, uri);
    }
  }

  // Counts the binding of `prefix` to `uri` (null or "" for none) once per
  // document; returns the refusal once there are more than
  // MAX_NAMESPACE_BINDINGS distinct ones, null until then.
  private String countBinding(String prefix, String uri) {
    String binding = prefix + '\u0000' + (uri == null ? "" : uri);
    if (namespaceBindings.add(binding) && namespaceBindings.size() > MAX_NAMESPACE_BINDINGS) {
      return "The document declares more than " + MAX_NAMESPACE_BINDINGS
          + " distinct namespace bindings (prefix and URI pairs)";
    }
    return null;
  }

  // The platform's parser with secure processing on and external entities
  // and external DTDs off: what stands behind the DOCTYPE rule.
  static XMLReader restrictedParser(String factoryClass) throws Exception {
    SAXParserFactory factory = factoryClass == null
        ? SAXParserFactory.newInstance()
        : SAXParserFactory.newInstance(factoryClass, ClassLoader.getSystemClassLoader());
    factory.setFeature(XMLConstants.FEATURE_SECURE_PROCESSING, true);
    XMLReader parser = factory.newSAXParser().getXMLReader();
    parser.setFeature("http://xml.org/sax/features/external-general-entities", false);
    parser.setFeature("http://xml.org/sax/features/external-parameter-entities", false);
    parser.setFeature("http://apache.org/xml/features/nonvalidating/load-external-dtd", false);
    parser.setEntityResolver(REFUSING_RESOLVER);
    return parser;
  }

  // Refuses every external entity. XMLFilterImpl makes the filter itself
  // the parser's resolver during a parse, and the filter refuses the same
  // way; this one stands in until then.
  private static final EntityResolver REFUSING_RESOLVER = new Refusal();

  private static final class Refusal implements EntityResolver {
    @Override
    public InputSource resolveEntity(String publicId, String systemId) throws SAXException {
      throw refusedEntity(systemId, null);
    }
  }

  private static SAXParseException refusedEntity(String systemId, Locator where) {
    return new SAXParseException("The document refers to the external entity " + systemId
        + ": documents to validate may not read other files", where);
  }

  @Override
  public InputSource resolveEntity(String publicId, String systemId) throws SAXException {
    throw refusedEntity(systemId, locator);
  }

  // Saxon sets its lexical handler as a property; the parser keeps this
  // filter in that place.
  @Override
  public void setProperty(String name, Object value)
      throws SAXNotRecognizedException, SAXNotSupportedException {
    if (LEXICAL_HANDLER.equals(name)) {
      downstreamLexical = (LexicalHandler) value;
    } else {
      super.setProperty(name, value);
    }
  }

  @Override
  public Object getProperty(String name)
      throws SAXNotRecognizedException, SAXNotSupportedException {
    return LEXICAL_HANDLER.equals(name) ? downstreamLexical : super.getProperty(name);
  }

  @Override
  public void parse(InputSource input) throws IOException, SAXException {
    depth = 0;
    namespaceBindings.clear();
    super.parse(input);
  }

  // Where the parser is in the document, once it has said; null before.
  Locator documentLocator() {
    return locator;
  }

  @Override
  public void setDocumentLocator(Locator locator) {
    this.locator = locator;
    super.setDocumentLocator(locator);
  }

  // A DOCTYPE is where entities and external subsets are declared; the
  // parser reports it before it reads any of them.
  @Override
  public void startDTD(String name, String publicId, String systemId) throws SAXException {
    throw new SAXParseException("The document declares a DOCTYPE (" + name + "): documents to"
        + " validate may not have a DTD, so no entity in them is expanded and no external file"
        + " is read", locator);
  }

  @Override
  public void startElement(String uri, String localName, String qName, Attributes attributes)
      throws SAXException {
    if (++depth > MAX_DEPTH) {
      throw new SAXParseException(
          "The document nests elements more than " + MAX_DEPTH + " levels deep", locator);
    }
    super.startElement(uri, localName, qName, attributes);
  }

  @Override
  public void startPrefixMapping(String prefix, String uri) throws SAXException {
    String refusal = countBinding(prefix, uri);
    if (refusal != null) throw new SAXParseException(refusal, locator);
    super.startPrefixMapping(prefix, uri);
  }

  @Override
  public void endElement(String uri, String localName, String qName) throws SAXException {
    --depth;
    super.endElement(uri, localName, qName);
  }

  @Override
  public void endDTD() throws SAXException {
    if (downstreamLexical != null) downstreamLexical.endDTD();
  }

  @Override
  public void startEntity(String name) throws SAXException {
    if (downstreamLexical != null) downstreamLexical.startEntity(name);
  }

  @Override
  public void endEntity(String name) throws SAXException {
    if (downstreamLexical != null) downstreamLexical.endEntity(name);
  }

  @Override
  public void startCDATA() throws SAXException {
    if (downstreamLexical != null) downstreamLexical.startCDATA();
  }

  @Override
  public void endCDATA() throws SAXException {
    if (downstreamLexical != null) downstreamLexical.endCDATA();
  }

  @Override
  public void comment(char[] text, int start, int length) throws SAXException {
    if (downstreamLexical != null) downstreamLexical.comment(text, start, length);
  }
}
