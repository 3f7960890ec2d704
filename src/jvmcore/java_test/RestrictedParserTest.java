// The parser behind the source guard's DOCTYPE rule, on its own: each of its
// settings (external entities off, external DTDs off, the refusing entity
// resolver, secure processing) must hold by itself, should a document ever
// get past the rule. Run as a program: exits 0 when every check passes,
// 1 after naming each check that failed.

import java.io.File;
import java.io.StringReader;
import java.nio.file.Files;
import java.nio.charset.StandardCharsets;
import org.xml.sax.InputSource;
import org.xml.sax.SAXException;
import org.xml.sax.XMLReader;
import org.xml.sax.helpers.DefaultHandler;

public final class RestrictedParserTest {
  private static int failures = 0;

  private static final class Text extends DefaultHandler {
    final StringBuilder text = new StringBuilder();

    @Override
    public void characters(char[] ch, int start, int length) {
      text.append(ch, start, length);
    }
  }

  // Parses `document` (with `base` as its system id) with the restricted
  // parser; returns its text, or "refused: <reason>" when the parser refused.
  private static String parse(String document, File base) throws Exception {
    XMLReader parser = SourceGuard.restrictedParser(null);
    Text text = new Text();
    parser.setContentHandler(text);
    InputSource input = new InputSource(new StringReader(document));
    input.setSystemId(new File(base, "doc.xml").toURI().toString());
    try {
      parser.parse(input);
      return text.text.toString();
    } catch (SAXException e) {
      return "refused: " + e.getMessage();
    }
  }

  private static void check(String what, boolean ok, String got) {
    if (!ok) {
      ++failures;
      System.err.println("FAILED: " + what + " (got: " + got + ")");
    } else {
      System.out.println("ok: " + what);
    }
  }

  public static void main(String[] args) throws Exception {
    File dir = Files.createTempDirectory("restricted-parser").toFile();
    Files.write(new File(dir, "secret.txt").toPath(), "SECRET".getBytes(StandardCharsets.UTF_8));
    Files.write(new File(dir, "p.ent").toPath(),
        "<!ENTITY x \"SECRET\">".getBytes(StandardCharsets.UTF_8));
    Files.write(new File(dir, "ext.dtd").toPath(),
        "<!ENTITY x \"SECRET\">".getBytes(StandardCharsets.UTF_8));

    String general = parse("<!DOCTYPE d [<!ENTITY e SYSTEM \"secret.txt\">]><d>[&e;]</d>", dir);
    check("an external general entity is skipped, not read", general.equals("[]"), general);

    String parameter = parse(
        "<!DOCTYPE d [<!ENTITY % p SYSTEM \"p.ent\"> %p;]><d>[]</d>", dir);
    check("an external parameter entity is skipped, not read", parameter.equals("[]"), parameter);

    String dtd = parse("<!DOCTYPE d SYSTEM \"ext.dtd\"><d>[]</d>", dir);
    check("an external DTD is not loaded", dtd.equals("[]"), dtd);

    String resolved;
    try {
      XMLReader parser = SourceGuard.restrictedParser(null);
      resolved = parser.getEntityResolver() == null ? "no resolver"
          : "resolved: " + parser.getEntityResolver().resolveEntity(null,
              new File(dir, "secret.txt").toURI().toString());
    } catch (SAXException e) {
      resolved = "refused: " + e.getMessage();
    }
    check("the entity resolver refuses every entity", resolved.startsWith("refused: "), resolved);

    StringBuilder laughs = new StringBuilder("<!DOCTYPE d [<!ENTITY l0 \"x\">");
    for (int level = 1; level <= 6; ++level) {
      laughs.append("<!ENTITY l").append(level).append(" \"");
      for (int i = 0; i < 10; ++i) laughs.append("&l").append(level - 1).append(';');
      laughs.append("\">");
    }
    laughs.append("]><d>&l6;</d>");
    String expanded = parse(laughs.toString(), dir);
    check("a million entity expansions exceed the secure-processing limit",
        expanded.startsWith("refused: "), expanded.length() > 80 ? expanded.substring(0, 80) : expanded);

    for (String name : new String[] {"secret.txt", "p.ent", "ext.dtd"}) new File(dir, name).delete();
    dir.delete();
    System.exit(failures == 0 ? 0 : 1);
  }
}
