// Names that mean one thing in the caller's process and another in the
// server's: the standard streams (/dev/stdin, /dev/stdout, /dev/stderr,
// /dev/fd/N), the controlling terminal, and the process's own entries in
// /proc. A run that reaches one of them, in any component of a name or
// through symbolic links, moves to the caller's own process. The server's
// resolvers see every name a run reads or writes.
import java.io.File;
import java.util.ArrayDeque;
import java.util.Deque;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;

final class CallerFiles {
  private CallerFiles() {}

  // Any name under /proc counts: the process's own entries have many names
  // there (its id, self, thread-self, a thread's task entry), and a run
  // reading /proc is never one worth serving. The same rule as the
  // library's (jvmengine/own_names.h).
  private static final String[] PREFIXES = {
      "/dev/stdin", "/dev/stdout", "/dev/stderr", "/dev/fd", "/dev/tty", "/proc"};

  // Symbolic links followed before a name counts as the caller's anyway
  // (the kernel gives up on a loop sooner).
  private static final int MAX_LINKS = 40;

  // True when `file`, an absolute name, resolved one component at a time
  // (each symbolic link followed, "." and ".." taken after the links
  // before them), is or passes through one of the names above at any step,
  // whether or not the rest exists; also when that cannot be told (a loop
  // of links, an unreadable link).
  static boolean isCallersOwn(File file) {
    Deque<String> rest = new ArrayDeque<>();
    prepend(file.getPath(), rest);
    if (!file.getPath().startsWith("/")) return true;
    Path resolved = Paths.get("/");
    int links = 0;
    while (!rest.isEmpty()) {
      String name = rest.removeFirst();
      if (name.equals(".")) continue;
      if (name.equals("..")) {
        if (resolved.getParent() != null) resolved = resolved.getParent();
        continue;
      }
      Path next = resolved.resolve(name);
      if (named(next)) return true;
      if (!Files.isSymbolicLink(next)) {
        resolved = next;  // a name that does not exist stays as written
        continue;
      }
      if (++links > MAX_LINKS) return true;
      try {
        String target = Files.readSymbolicLink(next).toString();
        if (target.startsWith("/")) resolved = Paths.get("/");
        prepend(target, rest);
      } catch (Exception unreadable) {
        return true;
      }
    }
    return named(resolved);
  }

  // Puts the components of `path` before those already in `rest`.
  private static void prepend(String path, Deque<String> rest) {
    String[] names = path.split("/");
    for (int i = names.length - 1; i >= 0; --i) {
      if (!names[i].isEmpty()) rest.addFirst(names[i]);
    }
  }

  private static boolean named(Path path) {
    String text = path.toString();
    for (String prefix : PREFIXES) {
      if (text.equals(prefix) || text.startsWith(prefix + "/")) return true;
    }
    return false;
  }
}
