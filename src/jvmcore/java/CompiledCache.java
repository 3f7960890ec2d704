// A cache of the engine server's compiles (stylesheets, schema sets), by a
// key naming what was compiled, least recently used first out. Bounded by a
// count and by the summed size of the files behind the entries (a compiled
// form's memory grows with its source). An entry is handed out only while
// the files it was compiled from are unchanged.
import java.util.Iterator;
import java.util.LinkedHashMap;
import java.util.Map;

final class CompiledCache<E extends CompiledCache.Entry> {
  // What the cache asks of a compile it keeps.
  interface Entry {
    // True while every file read to compile it is byte for byte the same.
    boolean unchanged();

    // The summed size of those files, in bytes.
    long sourceBytes();
  }

  private final int maxEntries;
  private final long maxSourceBytes;
  private final LinkedHashMap<String, E> entries = new LinkedHashMap<>(16, 0.75f, true);
  private long sourceBytes;

  CompiledCache(int maxEntries, long maxSourceBytes) {
    this.maxEntries = maxEntries;
    this.maxSourceBytes = maxSourceBytes;
  }

  // The entry for `key` if its files are all unchanged; otherwise drops
  // the entry and returns null. Files are hashed outside the lock.
  E lookup(String key) {
    E entry;
    synchronized (this) {
      entry = entries.get(key);
    }
    if (entry == null || entry.unchanged()) return entry;
    synchronized (this) {
      if (entries.get(key) == entry) remove(key);
    }
    return null;
  }

  synchronized void put(String key, E entry) {
    remove(key);
    entries.put(key, entry);
    sourceBytes += entry.sourceBytes();
    Iterator<Map.Entry<String, E>> oldest = entries.entrySet().iterator();
    while ((entries.size() > maxEntries || sourceBytes > maxSourceBytes) && entries.size() > 1) {
      sourceBytes -= oldest.next().getValue().sourceBytes();
      oldest.remove();
    }
  }

  synchronized int size() {
    return entries.size();
  }

  private void remove(String key) {
    E old = entries.remove(key);
    if (old != null) sourceBytes -= old.sourceBytes();
  }
}
