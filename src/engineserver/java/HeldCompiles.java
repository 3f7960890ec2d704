// What an engine server's caches hold, as a retiring server hands it to its
// successor: each kept stylesheet's principal module with the current
// directory and environment of the run it was compiled for, and each kept
// schema set's files in their order. Written to an anonymous file the
// server made (named only through /proc/self/fd, inherited by the
// successor) as typed data (counts, and strings as their UTF-8 length and
// bytes), never as text to be parsed; both ends are the same program.
import java.io.BufferedInputStream;
import java.io.BufferedOutputStream;
import java.io.DataInputStream;
import java.io.DataOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.StandardOpenOption;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

final class HeldCompiles {
  // One kept stylesheet: its principal module's file, and the run it was
  // compiled for.
  static final class Stylesheet {
    final String file;
    final String directory;
    final Map<String, String> environment;

    Stylesheet(String file, String directory, Map<String, String> environment) {
      this.file = file;
      this.directory = directory;
      this.environment = environment;
    }
  }

  // Marks the file as this list, of this layout.
  private static final int MAGIC = 0x48454c31;  // "HEL1"

  // Bounds a list read back must keep, so damage cannot make it allocate
  // without end.
  private static final int MAX_COUNT = 1 << 20;
  private static final int MAX_TEXT = 1 << 24;

  final List<Stylesheet> stylesheets;
  final List<List<File>> schemaSets;

  private HeldCompiles(List<Stylesheet> stylesheets, List<List<File>> schemaSets) {
    this.stylesheets = stylesheets;
    this.schemaSets = schemaSets;
  }

  // Writes the list into `file`, which must exist (no file is made
  // anywhere), in place of what it held. False when it cannot be written.
  static boolean write(File file, List<Stylesheet> stylesheets, List<List<File>> schemaSets) {
    try (OutputStream bytes = Files.newOutputStream(file.toPath(), StandardOpenOption.WRITE,
                                                    StandardOpenOption.TRUNCATE_EXISTING);
         DataOutputStream out = new DataOutputStream(new BufferedOutputStream(bytes))) {
      out.writeInt(MAGIC);
      out.writeInt(stylesheets.size());
      for (Stylesheet sheet : stylesheets) {
        text(out, sheet.file);
        text(out, sheet.directory);
        out.writeInt(sheet.environment.size());
        for (Map.Entry<String, String> variable : sheet.environment.entrySet()) {
          text(out, variable.getKey());
          text(out, variable.getValue());
        }
      }
      out.writeInt(schemaSets.size());
      for (List<File> files : schemaSets) {
        out.writeInt(files.size());
        for (File schema : files) text(out, schema.getPath());
      }
      return true;
    } catch (IOException | RuntimeException e) {
      return false;
    }
  }

  // The list in `file`; null when it cannot be read or is not such a list.
  static HeldCompiles read(File file) {
    try (InputStream bytes = Files.newInputStream(file.toPath());
         DataInputStream in = new DataInputStream(new BufferedInputStream(bytes))) {
      if (in.readInt() != MAGIC) return null;
      List<Stylesheet> stylesheets = new ArrayList<>();
      for (int i = count(in); i > 0; --i) {
        String sheet = text(in);
        String directory = text(in);
        Map<String, String> environment = new LinkedHashMap<>();
        for (int j = count(in); j > 0; --j) environment.put(text(in), text(in));
        stylesheets.add(new Stylesheet(sheet, directory, environment));
      }
      List<List<File>> schemaSets = new ArrayList<>();
      for (int i = count(in); i > 0; --i) {
        List<File> files = new ArrayList<>();
        for (int j = count(in); j > 0; --j) files.add(new File(text(in)));
        schemaSets.add(files);
      }
      return in.read() == -1 ? new HeldCompiles(stylesheets, schemaSets) : null;
    } catch (IOException | RuntimeException e) {
      return null;
    }
  }

  private static void text(DataOutputStream out, String value) throws IOException {
    byte[] utf8 = value.getBytes(StandardCharsets.UTF_8);
    out.writeInt(utf8.length);
    out.write(utf8);
  }

  private static String text(DataInputStream in) throws IOException {
    int length = in.readInt();
    if (length < 0 || length > MAX_TEXT) throw new IOException("a string out of bounds");
    byte[] utf8 = new byte[length];
    in.readFully(utf8);
    return new String(utf8, StandardCharsets.UTF_8);
  }

  private static int count(DataInputStream in) throws IOException {
    int count = in.readInt();
    if (count < 0 || count > MAX_COUNT) throw new IOException("a count out of bounds");
    return count;
  }
}
