// A set of XML Schema files compiled together into one schema by the JDK's
// own validator (javax.xml.validation), with every file read for it.
//
// Schema files are trusted configuration: their DTDs (internal subsets)
// load, as some published schemas need. But only local files are read:
// every xs:import, xs:include and xs:redefine is read here, from a file:
// URI, and handed to the compiler as bytes; anything else is left to the
// compiler, whose access to external schemas and DTDs is limited to the
// file protocol, so it refuses it without a connection being made.
import java.io.ByteArrayInputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.Reader;
import java.net.URI;
import java.util.List;
import javax.xml.XMLConstants;
import javax.xml.transform.Source;
import javax.xml.transform.stream.StreamSource;
import javax.xml.validation.Schema;
import javax.xml.validation.SchemaFactory;
import org.w3c.dom.ls.LSInput;
import org.w3c.dom.ls.LSResourceResolver;
import org.xml.sax.ErrorHandler;
import org.xml.sax.SAXException;
import org.xml.sax.SAXParseException;

final class CompiledSchema {
  final Schema schema;
  private final SourceFiles files;

  // Why a schema set could not be compiled, in a line for the user.
  static final class Failure extends Exception {
    private static final long serialVersionUID = 1L;

    Failure(String message) {
      super(message);
    }
  }

  private CompiledSchema(Schema schema, SourceFiles files) {
    this.schema = schema;
    this.files = files;
  }

  // True while every file read to compile it is byte for byte the same.
  boolean unchanged() {
    return files.unchanged();
  }

  // True when the calling thread's run may read every file read to
  // compile it (RunReads).
  boolean permittedNow() {
    return files.permittedNow();
  }

  // The summed size of those files, in bytes.
  long sourceBytes() {
    return files.bytes();
  }

  // Compiles the schema files `schemas` together (as the components of one
  // schema). Throws Failure naming the file and the first problem: a file
  // that cannot be read, a reference to anything but a local file, or any
  // error or warning of the compiler (a warning there is an import that
  // could not be read, which would leave its components missing).
  static CompiledSchema compile(List<File> schemas) throws Failure {
    SourceFiles files = new SourceFiles();
    Source[] sources = new Source[schemas.size()];
    for (int i = 0; i < sources.length; ++i) {
      File file = schemas.get(i);
      try {
        sources[i] = new StreamSource(new ByteArrayInputStream(files.read(file)),
                                      file.getAbsoluteFile().toURI().toString());
      } catch (IOException e) {
        throw new Failure("Cannot read schema file " + file + ": " + e.getMessage());
      }
    }
    SchemaFactory factory = SchemaFactory.newDefaultInstance();
    LocalFiles resolver = new LocalFiles(files);
    try {
      factory.setFeature(XMLConstants.FEATURE_SECURE_PROCESSING, true);
      factory.setProperty(XMLConstants.ACCESS_EXTERNAL_SCHEMA, "file");
      factory.setProperty(XMLConstants.ACCESS_EXTERNAL_DTD, "file");
      factory.setResourceResolver(resolver);
      factory.setErrorHandler(FAIL_ON_ANY);
      return new CompiledSchema(factory.newSchema(sources), files);
    } catch (SAXParseException e) {
      throw new Failure("Cannot compile the schema " + describe(schemas) + ": "
          + where(e) + e.getMessage() + resolver.refusalNote());
    } catch (SAXException e) {
      throw new Failure("Cannot compile the schema " + describe(schemas) + ": " + e.getMessage()
          + resolver.refusalNote());
    }
  }

  private static String describe(List<File> schemas) {
    StringBuilder names = new StringBuilder();
    for (File file : schemas) {
      if (names.length() > 0) names.append(", ");
      names.append(file);
    }
    return names.toString();
  }

  // "<file> line N column M: " for a compile problem, as far as known.
  private static String where(SAXParseException e) {
    String file = e.getSystemId();
    File local = file == null ? null : SourceFiles.localFile(file);
    return (local != null ? local.getPath() : file == null ? "" : file) + " line "
        + e.getLineNumber() + " column " + e.getColumnNumber() + ": ";
  }

  private static final ErrorHandler FAIL_ON_ANY = new FailOnAny();

  private static final class FailOnAny implements ErrorHandler {
    @Override
    public void warning(SAXParseException e) throws SAXException {
      throw e;
    }

    @Override
    public void error(SAXParseException e) throws SAXException {
      throw e;
    }

    @Override
    public void fatalError(SAXParseException e) throws SAXException {
      throw e;
    }
  }

  // Reads every schema document the compile refers to from its local file,
  // recording it; leaves any other URI to the compiler, which refuses it.
  private static final class LocalFiles implements LSResourceResolver {
    private final SourceFiles files;
    private String refused;
    private boolean outsideScope;

    LocalFiles(SourceFiles files) {
      this.files = files;
    }

    @Override
    public LSInput resolveResource(String type, String namespace, String publicId,
                                   String systemId, String baseUri) {
      if (systemId == null) return null;
      String absolute;
      try {
        absolute = baseUri == null ? new URI(systemId).toString()
                                   : new URI(baseUri).resolve(new URI(systemId)).toString();
      } catch (Exception e) {
        refused = systemId;
        return null;
      }
      File file = SourceFiles.localFile(absolute);
      if (file == null && RunReads.namesHost(absolute)) {
        // Left to the compiler, the JDK would open it over FTP: it gets
        // nothing to read, and the failure says why.
        refused = absolute;
        return new Input(publicId, absolute, baseUri, new byte[0]);
      }
      if (file == null) {
        refused = absolute;
        return null;
      }
      if (!RunReads.permitsNow(file)) {
        refused = absolute;
        outsideScope = true;
        return new Input(publicId, absolute, baseUri, new byte[0]);
      }
      try {
        return new Input(publicId, absolute, baseUri, files.read(file));
      } catch (IOException e) {
        return null;  // the compiler says it cannot read it
      }
    }

    // What to add to a compile failure once a reference was refused.
    String refusalNote() {
      if (refused == null) return "";
      return outsideScope
          ? " (Refused " + refused + ": a configuration reads only the files of its repository)"
          : " (" + refused + " is not a local file: schemas are read only from local files)";
    }
  }

  // A schema document's bytes as the compiler takes them.
  private static final class Input implements LSInput {
    private final String publicId;
    private final String systemId;
    private final String baseUri;
    private final byte[] content;

    Input(String publicId, String systemId, String baseUri, byte[] content) {
      this.publicId = publicId;
      this.systemId = systemId;
      this.baseUri = baseUri;
      this.content = content;
    }

    @Override public Reader getCharacterStream() { return null; }
    @Override public void setCharacterStream(Reader reader) {}
    @Override public InputStream getByteStream() { return new ByteArrayInputStream(content); }
    @Override public void setByteStream(InputStream stream) {}
    @Override public String getStringData() { return null; }
    @Override public void setStringData(String data) {}
    @Override public String getSystemId() { return systemId; }
    @Override public void setSystemId(String id) {}
    @Override public String getPublicId() { return publicId; }
    @Override public void setPublicId(String id) {}
    @Override public String getBaseURI() { return baseUri; }
    @Override public void setBaseURI(String uri) {}
    @Override public String getEncoding() { return null; }
    @Override public void setEncoding(String encoding) {}
    @Override public boolean getCertifiedText() { return false; }
    @Override public void setCertifiedText(boolean certified) {}
  }
}
