// The numbers one run of the engine server gives its documents (those
// generate-id() shows), as its own process would give them: from the first
// number of a fresh configuration up. A compile taken from the cache
// counts as the compile it stands for (its numbers are passed over), and
// the numbers its documents were given when it was made are never given
// again in this run, since they may live on in the compiled stylesheet.
import java.util.ArrayList;
import java.util.List;

final class DocumentNumbers {
  // The first number a fresh Saxon configuration gives.
  static final long FIRST = 0;

  private long next = FIRST;
  // Ranges [start, end) never given in this run: those of reused compiles.
  private final List<long[]> held = new ArrayList<>();

  // The next number, past every held range.
  synchronized long next() {
    boolean moved = true;
    while (moved) {
      moved = false;
      for (long[] range : held) {
        if (next >= range[0] && next < range[1]) {
          next = range[1];
          moved = true;
        }
      }
    }
    return next++;
  }

  // The number the next document would get if no range were held.
  synchronized long peek() {
    return next;
  }

  // Stands for a compile whose documents were given [start, end) when it
  // was made: this run passes over as many numbers as that compile took,
  // and never gives those it gave.
  synchronized void reuse(long start, long end) {
    next += end - start;
    if (end > start) held.add(new long[] {start, end});
  }
}
