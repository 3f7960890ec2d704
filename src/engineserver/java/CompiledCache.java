// A cache of the engine server's compiles (stylesheets, schema sets), by a
// key naming what was compiled, least recently used first out. Bounded by a
// count and by the summed size of the files behind the entries (a compiled
// form's memory grows with its source). An entry is handed out only while
// the files it was compiled from are unchanged.
//
// The cache's state is an immutable value replaced whole by one atomic
// step (compare and set): a run stopped at any instruction (Thread.stop)
// leaves either the state before its change or the one after, never a map
// and a byte count out of step.
import java.util.ArrayList;
import java.util.Iterator;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.concurrent.atomic.AtomicReference;

final class CompiledCache<E extends CompiledCache.Entry> {
  // What the cache asks of a compile it keeps.
  interface Entry {
    // True while every file read to compile it is byte for byte the same.
    boolean unchanged();

    // The summed size of those files, in bytes.
    long sourceBytes();
  }

  // The entries, least recently used first, and their summed size; never
  // changed once made.
  private static final class State<E extends Entry> {
    final LinkedHashMap<String, E> entries;
    final long sourceBytes;

    State(LinkedHashMap<String, E> entries, long sourceBytes) {
      this.entries = entries;
      this.sourceBytes = sourceBytes;
    }
  }

  private final int maxEntries;
  private final long maxSourceBytes;
  private final AtomicReference<State<E>> state =
      new AtomicReference<>(new State<E>(new LinkedHashMap<String, E>(), 0));

  CompiledCache(int maxEntries, long maxSourceBytes) {
    this.maxEntries = maxEntries;
    this.maxSourceBytes = maxSourceBytes;
  }

  // The entry for `key` if its files are all unchanged (it becomes the most
  // recently used); otherwise drops the entry and returns null. Files are
  // hashed with no state held.
  E lookup(String key) {
    E entry = state.get().entries.get(key);
    if (entry == null) return null;
    boolean unchanged = entry.unchanged();
    for (;;) {
      State<E> before = state.get();
      if (before.entries.get(key) != entry) return unchanged ? entry : null;
      State<E> after = without(before, key);
      if (unchanged) after = with(after, key, entry);
      if (state.compareAndSet(before, after)) return unchanged ? entry : null;
    }
  }

  void put(String key, E entry) {
    for (;;) {
      State<E> before = state.get();
      State<E> after = with(without(before, key), key, entry);
      Iterator<Map.Entry<String, E>> oldest = after.entries.entrySet().iterator();
      long bytes = after.sourceBytes;
      while ((after.entries.size() > maxEntries || bytes > maxSourceBytes)
             && after.entries.size() > 1) {
        bytes -= oldest.next().getValue().sourceBytes();
        oldest.remove();  // on the new state's own copy, not yet seen by anyone
      }
      if (state.compareAndSet(before, new State<E>(after.entries, bytes))) return;
    }
  }

  int size() {
    return state.get().entries.size();
  }

  // The entries held now, least recently used first, under their keys.
  List<Map.Entry<String, E>> entries() {
    return new ArrayList<>(state.get().entries.entrySet());
  }

  // `from` without `key`, as a new state.
  private static <E extends Entry> State<E> without(State<E> from, String key) {
    LinkedHashMap<String, E> entries = new LinkedHashMap<>(from.entries);
    E old = entries.remove(key);
    return new State<E>(entries, from.sourceBytes - (old == null ? 0 : old.sourceBytes()));
  }

  // `from` with `entry` last under `key` (which it does not hold), as a
  // new state.
  private static <E extends Entry> State<E> with(State<E> from, String key, E entry) {
    LinkedHashMap<String, E> entries = new LinkedHashMap<>(from.entries);
    entries.put(key, entry);
    return new State<E>(entries, from.sourceBytes + entry.sourceBytes());
  }
}
