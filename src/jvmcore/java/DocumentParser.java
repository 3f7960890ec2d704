// The parser of every document Saxon reads for a run besides its source
// (doc(), document(), doc-available(), collection() members, document
// parameters; Feature.SOURCE_PARSER_CLASS, RunResolvers): the JDK's parser
// as Saxon would make it, except that
//  - a user's document (RunReads.isUserDocument, by file identity) is read
//    by the guarded parser (SourceGuard) instead, with the same handlers
//    and features, so no step of a run reads it any other way;
//  - a document the run may not read (RunReads.refusal) is refused before
//    a byte of it is read.
// Saxon keeps parsers in a pool shared by runs; each parse asks the rules
// of the run it serves.
import java.io.IOException;
import javax.xml.parsers.SAXParserFactory;
import org.xml.sax.InputSource;
import org.xml.sax.SAXException;
import org.xml.sax.XMLReader;
import org.xml.sax.helpers.DefaultHandler;
import org.xml.sax.helpers.XMLFilterImpl;

public final class DocumentParser extends XMLFilterImpl {
  private static final String LEXICAL_HANDLER = "http://xml.org/sax/properties/lexical-handler";
  private static final String[] FEATURES = {
      "http://xml.org/sax/features/namespaces", "http://xml.org/sax/features/namespace-prefixes"};

  public DocumentParser() throws Exception {
    SAXParserFactory factory = SAXParserFactory.newInstance();
    factory.setNamespaceAware(true);
    setParent(factory.newSAXParser().getXMLReader());
  }

  @Override
  public void parse(InputSource input) throws IOException, SAXException {
    String uri = input.getSystemId();
    String refusal = RunReads.refusal(uri);
    if (refusal != null) throw new SAXException(refusal);
    if (!RunReads.isUserDocument(uri)) {
      super.parse(input);
      return;
    }
    XMLReader guarded = guardedParser();
    for (String feature : FEATURES) guarded.setFeature(feature, getParent().getFeature(feature));
    Object lexical = getParent().getProperty(LEXICAL_HANDLER);
    if (lexical != null) guarded.setProperty(LEXICAL_HANDLER, lexical);
    if (getContentHandler() != null) guarded.setContentHandler(getContentHandler());
    if (getDTDHandler() != null) guarded.setDTDHandler(getDTDHandler());
    if (getErrorHandler() != null) guarded.setErrorHandler(getErrorHandler());
    guarded.parse(input);
  }

  // Reads the user's document at `uri` with the guarded parser, to its end,
  // keeping nothing; throws the parser's refusal as the run's error.
  static void check(String uri) throws net.sf.saxon.trans.XPathException {
    try {
      XMLReader guarded = guardedParser();
      guarded.setFeature(FEATURES[0], true);
      guarded.setContentHandler(new DefaultHandler());
      guarded.parse(new InputSource(uri));
    } catch (Exception e) {
      throw new net.sf.saxon.trans.XPathException("Cannot read " + uri + ": " + e.getMessage());
    }
  }

  private static XMLReader guardedParser() throws SAXException {
    try {
      return SourceGuard.newGuardedParser(StartupPreparation.parserFactoryClass());
    } catch (SAXException e) {
      throw e;
    } catch (Exception e) {
      throw new SAXException("Cannot set up the parser for the document: " + e, e);
    }
  }
}
