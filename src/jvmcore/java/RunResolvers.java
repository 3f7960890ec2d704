// The resolvers every run reads through, in the library's own process and
// in the engine server alike, each asking the run's rules (RunReads) before
// it reads: documents (doc(), document(), doc-available(), xsl:include,
// xsl:import), texts (unparsed-text() and its kin), collections, external
// entities and DTDs of the documents and stylesheet modules Saxon parses,
// and the parser of every document Saxon reads (DocumentParser), which
// gives a user's document the guarded parser. The schema step's imports
// ask RunReads too (CompiledSchema).
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
import net.sf.saxon.expr.XPathContext;
import net.sf.saxon.functions.ResolveURI;
import net.sf.saxon.lib.CollectionFinder;
import net.sf.saxon.lib.Feature;
import net.sf.saxon.lib.ResourceCollection;
import net.sf.saxon.lib.UnparsedTextURIResolver;
import net.sf.saxon.trans.XPathException;
import org.xml.sax.EntityResolver;
import org.xml.sax.InputSource;
import org.xml.sax.SAXException;
import org.xml.sax.helpers.XMLFilterImpl;

public final class RunResolvers implements EntityResolver {
  public RunResolvers() {}

  // Puts the run's rules in front of `config`'s resolvers and makes its
  // parsers of documents and stylesheet modules ours; called once for a
  // configuration.
  static void install(Configuration config) {
    config.setURIResolver(new Documents(config.getURIResolver()));
    config.setUnparsedTextURIResolver(new Texts(config.getUnparsedTextURIResolver()));
    config.setCollectionFinder(new Collections(config.getCollectionFinder()));
    config.setConfigurationProperty(Feature.ENTITY_RESOLVER_CLASS, RunResolvers.class.getName());
    config.setConfigurationProperty(Feature.SOURCE_PARSER_CLASS, DocumentParser.class.getName());
    config.setStyleParserClass(StyleParser.class.getName());
  }

  // The parser of stylesheet modules, which Saxon gives an entity resolver
  // of its own: the JDK's parser, with every external entity and DTD a
  // module names passing the run's rules first.
  public static final class StyleParser extends XMLFilterImpl {
    public StyleParser() throws Exception {
      SAXParserFactory factory = SAXParserFactory.newInstance();
      factory.setNamespaceAware(true);
      setParent(factory.newSAXParser().getXMLReader());
    }

    @Override
    public InputSource resolveEntity(String publicId, String systemId)
        throws SAXException, IOException {
      String refusal = RunReads.refusal(systemId);
      if (refusal != null) throw new SAXException(refusal);
      return super.resolveEntity(publicId, systemId);
    }
  }

  // External entities and DTDs of documents: refused by the run's rules;
  // otherwise the parser reads them as it would.
  @Override
  public InputSource resolveEntity(String publicId, String systemId) throws SAXException {
    String refusal = RunReads.refusal(systemId);
    if (refusal != null) throw new SAXException(refusal);
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
      String refusal = RunReads.refusal(absolute);
      if (refusal != null) throw new TransformerException(refusal);
      return next == null ? null : next.resolve(href, base);
    }
  }

  // A text of a user's document is read only once the guarded parser has
  // read the document: a text holds no entity, but the document is refused
  // alike whichever way it is read.
  private static final class Texts implements UnparsedTextURIResolver {
    private final UnparsedTextURIResolver next;

    Texts(UnparsedTextURIResolver next) {
      this.next = next;
    }

    @Override
    public Reader resolve(URI uri, String encoding, Configuration config) throws XPathException {
      String refusal = RunReads.refusal(uri.toString());
      if (refusal != null) throw new XPathException(refusal);
      if (RunReads.isUserDocument(uri.toString())) DocumentParser.check(uri.toString());
      return next.resolve(uri, encoding, config);
    }
  }

  private static final class Collections implements CollectionFinder {
    private final CollectionFinder next;

    Collections(CollectionFinder next) {
      this.next = next;
    }

    @Override
    public ResourceCollection findCollection(XPathContext context, String uri)
        throws XPathException {
      String refusal = RunReads.collectionRefusal(uri);
      if (refusal != null) throw new XPathException(refusal);
      return next.findCollection(context, uri);
    }
  }
}
