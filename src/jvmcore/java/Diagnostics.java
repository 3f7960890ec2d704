// What the run tells on standard error when its caller's debug switch is on
// (XSLVALIDATE_DEBUG=1, doc/diagnostics.md): the time each step of the run
// took. Silent otherwise. Whether the switch is on for the calling
// thread's run is the run's host's to say (RunHost.traces): the process's
// switch in the library's own JVM, the caller's in the engine server.

final class Diagnostics {
  // The process's switch, read once by the native side and given to the
  // JVM as the system property xslvalidate.debug.
  static final boolean PROCESS = Boolean.getBoolean("xslvalidate.debug");

  private Diagnostics() {}

  static boolean on() {
    return XslvalidateRun.host().traces();
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
