// The engine server's cache of compiled stylesheets, by the URI of the
// principal module, least recently used first out. Bounded by a count and
// by the summed size of the modules behind the entries (a compiled
// stylesheet's memory grows with its source).
import java.util.Iterator;
import java.util.LinkedHashMap;
import java.util.Map;

final class CompiledStylesheets {
  private final int maxEntries;
  private final long maxModuleBytes;
  private final LinkedHashMap<String, CompiledStylesheet> entries =
      new LinkedHashMap<>(16, 0.75f, true);
  private long moduleBytes;

  CompiledStylesheets(int maxEntries, long maxModuleBytes) {
    this.maxEntries = maxEntries;
    this.maxModuleBytes = maxModuleBytes;
  }

  // The entry for `uri` if its modules are all unchanged; otherwise drops
  // the entry and returns null. Modules are hashed outside the lock.
  CompiledStylesheet lookup(String uri) {
    CompiledStylesheet entry;
    synchronized (this) {
      entry = entries.get(uri);
    }
    if (entry == null || entry.unchanged()) return entry;
    synchronized (this) {
      if (entries.get(uri) == entry) remove(uri);
    }
    return null;
  }

  synchronized void put(String uri, CompiledStylesheet entry) {
    remove(uri);
    entries.put(uri, entry);
    moduleBytes += entry.moduleBytes;
    Iterator<Map.Entry<String, CompiledStylesheet>> oldest = entries.entrySet().iterator();
    while ((entries.size() > maxEntries || moduleBytes > maxModuleBytes) && entries.size() > 1) {
      moduleBytes -= oldest.next().getValue().moduleBytes;
      oldest.remove();
    }
  }

  synchronized int size() {
    return entries.size();
  }

  private void remove(String uri) {
    CompiledStylesheet old = entries.remove(uri);
    if (old != null) moduleBytes -= old.moduleBytes;
  }
}
