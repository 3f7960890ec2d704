// What the run tells on standard error when its caller's debug switch is on
// (XSLVALIDATE_DEBUG=1, doc/diagnostics.md): the time each step of the run
// took. Silent otherwise. The switch is read once, by the native side, and
// reaches here as the system property xslvalidate.debug (the library's own
// JVM) or, in the engine server, with each run (forRun).

final class Diagnostics {
  private static final boolean PROCESS = Boolean.getBoolean("xslvalidate.debug");

  // The switch of the run that the current thread (and the threads it
  // starts) serves; when unset, the process's.
  static final InheritableThreadLocal<Boolean> forRun = new InheritableThreadLocal<>();

  private Diagnostics() {}

  static boolean on() {
    Boolean run = forRun.get();
    return run != null ? run : PROCESS;
  }

  // Writes "xslvalidate debug: <what> <ms> ms" for the time since
  // `startNanos` (System.nanoTime()), when on; returns the time now.
  static long step(String what, long startNanos) {
    long now = System.nanoTime();
    if (on()) {
      System.err.println("xslvalidate debug: " + what + " " + (now - startNanos) / 1_000_000
          + " ms");
    }
    return now;
  }
}
