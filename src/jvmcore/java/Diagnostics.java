// What the run tells on standard error when the environment variable
// XSLVALIDATE_DEBUG is 1 (doc/diagnostics.md): the time each step of the
// run took. Silent otherwise.

final class Diagnostics {
  static final boolean ON = "1".equals(System.getenv("XSLVALIDATE_DEBUG"));

  private Diagnostics() {}

  // Writes "xslvalidate debug: <what> <ms> ms" for the time since
  // `startNanos` (System.nanoTime()), when on; returns the time now.
  static long step(String what, long startNanos) {
    long now = System.nanoTime();
    if (ON) {
      System.err.println("xslvalidate debug: " + what + " " + (now - startNanos) / 1_000_000
          + " ms");
    }
    return now;
  }
}
