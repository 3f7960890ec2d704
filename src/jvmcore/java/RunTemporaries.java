// The temporary files of one run, for its owner: the thread that starts
// the run and waits for it (XslvalidateRun.run) removes whatever the run
// left when it is over, whichever way it ended. A run stopped in the middle
// (the engine server's Thread.stop) can be unwound at any instruction, also
// between creating a file and noting it, so a name is noted before its file
// is created, and forgotten only once the file has been put in place or
// removed.
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;

final class RunTemporaries {
  private static final InheritableThreadLocal<Set<Path>> RUN = new InheritableThreadLocal<>();

  private RunTemporaries() {}

  // Starts noting for the run the calling thread is about to start (its
  // threads inherit the record); returns the record for end().
  static Set<Path> begin() {
    Set<Path> names = ConcurrentHashMap.newKeySet();
    RUN.set(names);
    return names;
  }

  // Notes `name`, a file the calling thread's run is about to create.
  static void note(Path name) {
    Set<Path> names = RUN.get();
    if (names != null) names.add(name);
  }

  // Forgets `name`: put in place, removed, or never the run's.
  static void forget(Path name) {
    Set<Path> names = RUN.get();
    if (names != null) names.remove(name);
  }

  // Removes every file still noted in `names` and stops noting.
  static void end(Set<Path> names) {
    RUN.remove();
    for (Path name : names) {
      try {
        Files.deleteIfExists(name);
      } catch (IOException e) {
        System.err.println("Cannot remove temporary file " + name + ": " + e);
      }
    }
  }
}
