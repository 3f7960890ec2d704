// Start-up work of the JDK that every run waits for, done on a thread of its
// own (started when the run class is initialized) so that it overlaps
// Saxon's own start instead of following it.

import java.io.OutputStream;
import java.net.URL;
import java.nio.channels.Channels;
import java.nio.channels.FileChannel;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.PosixFileAttributes;
import java.util.Enumeration;
import java.util.Iterator;
import javax.xml.parsers.SAXParserFactory;

final class StartupPreparation implements Runnable {
  // The SAX parser factory class that JAXP's lookup found, once known; the
  // guard of the source document makes its parser from it directly.
  private static volatile String parserFactoryClass;

  private StartupPreparation() {}

  // Starts the preparation on a daemon thread.
  static void start() {
    Thread preparing = new Thread(null, new StartupPreparation(), "xslvalidate-prepare", 0);
    preparing.setDaemon(true);
    preparing.start();
  }

  // The factory class found by the preparation, or null while it has not
  // (yet) found one.
  static String parserFactoryClass() {
    return parserFactoryClass;
  }

  // Looks the SAX parser factory up once as JAXP does for the command line
  // (the first lookup makes the JDK read its configuration and generate
  // method-handle classes; later ones, Saxon's own for the stylesheets, find
  // that done). Then opens every jar of the class path, as the first run
  // would: Xerces looks on the class path for a parser configuration that
  // no jar names, and the JDK for providers of time-zone rules, and each
  // such lookup of a resource that no jar holds opens them all. Last, the
  // JDK file APIs the report's file needs (touchReportFileApis).
  // No JVM-wide setting changes: a stylesheet sees the same system
  // properties as on the command line.
  @Override
  public void run() {
    try {
      parserFactoryClass = SAXParserFactory.newInstance().getClass().getName();
    } catch (Throwable ignored) {
      // The run looks the factory up itself and reports what goes wrong.
    }
    try {
      Enumeration<URL> none = ClassLoader.getSystemClassLoader().getResources(
          "META-INF/services/org.apache.xerces.xni.parser.XMLParserConfiguration");
      while (none.hasMoreElements()) none.nextElement();
    } catch (Throwable ignored) {
      // The run's own lookups meet the same jars and report what goes wrong.
    }
    touchReportFileApis();
  }

  // Uses, harmlessly, the JDK's file APIs that writing a report needs (its
  // file channel and the stream over it, the listing of its directory, the
  // attributes of a file) and the environment, so that their classes,
  // which the class-data archive does not hold, are loaded here, beside
  // Saxon's start, rather than on the run's own path.
  private static void touchReportFileApis() {
    try (FileChannel channel = FileChannel.open(Paths.get("/dev/null"), StandardOpenOption.WRITE);
         OutputStream out = Channels.newOutputStream(channel)) {
      out.flush();
    } catch (Throwable ignored) {
      // Loaded when the report is written.
    }
    Path root = Paths.get("/");
    try (DirectoryStream<Path> entries = Files.newDirectoryStream(root)) {
      Iterator<Path> first = entries.iterator();
      if (first.hasNext()) first.next();
    } catch (Throwable ignored) {
      // Loaded when the report's directory is listed.
    }
    try {
      Files.readAttributes(root, PosixFileAttributes.class, LinkOption.NOFOLLOW_LINKS);
      Class.forName("org.xml.sax.helpers.XMLFilterImpl");
    } catch (Throwable ignored) {
      // Loaded when first used.
    }
  }
}
