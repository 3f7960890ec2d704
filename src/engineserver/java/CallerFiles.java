// Names that mean one thing in the caller's process and another in the
// server's: the standard streams (/dev/stdin, /dev/stdout, /dev/stderr,
// /dev/fd/N), the controlling terminal, and the process's own entries in
// /proc (/proc/self, /proc/thread-self, the server's process id). A run
// that reaches one of them, directly or through symbolic links, moves to
// the caller's own process; so does a stylesheet whose text names one.
import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;

final class CallerFiles {
  private CallerFiles() {}

  private static final String[] PREFIXES = {
      "/dev/stdin", "/dev/stdout", "/dev/stderr", "/dev/fd", "/dev/tty", "/proc/self",
      "/proc/thread-self", "/proc/" + ProcessHandle.current().pid()};

  // Symbolic links followed before a name counts as the caller's anyway
  // (the kernel gives up on a loop sooner).
  private static final int MAX_LINKS = 40;

  // True when `file`, an absolute name, is or leads to one of the names
  // above.
  static boolean isCallersOwn(File file) {
    return isCallersOwn(Paths.get(file.getPath()), 0);
  }

  // True when the text of a module names one of them.
  static boolean namedIn(byte[] content) {
    String text = new String(content, StandardCharsets.ISO_8859_1);
    for (String prefix : PREFIXES) {
      if (text.contains(prefix)) return true;
    }
    return false;
  }

  private static boolean isCallersOwn(Path path, int links) {
    path = path.normalize();
    if (named(path)) return true;
    if (links > MAX_LINKS) return true;
    Path partial = path.getRoot();
    if (partial == null) return false;
    for (Path name : path) {
      partial = partial.resolve(name);
      if (!Files.isSymbolicLink(partial)) continue;
      try {
        Path target = partial.getParent().resolve(Files.readSymbolicLink(partial));
        return isCallersOwn(target.resolve(partial.relativize(path)), links + 1);
      } catch (Exception e) {
        return false;  // the run's own open fails as it would anywhere
      }
    }
    return false;
  }

  private static boolean named(Path path) {
    String text = path.toString();
    for (String prefix : PREFIXES) {
      if (text.equals(prefix) || text.startsWith(prefix + "/")) return true;
    }
    return false;
  }
}
