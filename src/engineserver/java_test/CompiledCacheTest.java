// The engine server's cache of compiles (stylesheets, schema sets) on its
// own: entries go
// least recently used first when there are more than the count allows
// or their modules sum to more than the size allows; a lone entry above the
// size stays; putting a URI again replaces its entry and its size; an entry
// whose module changed is dropped. Run as a program: exits 0 when every
// check passes, 1 after naming each check that failed.

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;

public final class CompiledCacheTest {
  private CompiledCacheTest() {}

  private static int failures;

  private static void check(boolean holds, String what) {
    if (!holds) {
      System.err.println("FAIL: " + what);
      ++failures;
    }
  }

  // An entry of `moduleBytes` whose modules never change.
  private static final class Sized implements CompiledCache.Entry {
    private final long moduleBytes;

    Sized(long moduleBytes) {
      this.moduleBytes = moduleBytes;
    }

    @Override
    public boolean unchanged() {
      return true;
    }

    @Override
    public long sourceBytes() {
      return moduleBytes;
    }
  }

  private static Sized entry(long moduleBytes) {
    return new Sized(moduleBytes);
  }

  // Which of `uris` the cache holds, as a string of 0 and 1.
  private static String held(CompiledCache<?> cache, String... uris) {
    StringBuilder held = new StringBuilder();
    for (String uri : uris) held.append(cache.lookup(uri) != null ? '1' : '0');
    return held.toString();
  }

  public static void main(String[] args) throws IOException {
    // By count: the third entry pushes out the least recently used.
    CompiledCache<Sized> byCount = new CompiledCache<>(2, 1_000);
    byCount.put("a", entry(1));
    byCount.put("b", entry(1));
    check(byCount.lookup("a") != null, "a held while the count allows");
    byCount.put("c", entry(1));  // a was used after b: b goes
    String counted = held(byCount, "a", "b", "c");
    check(counted.equals("101"), "by count, b out: " + counted);
    check(byCount.size() == 2, "by count, two entries: " + byCount.size());

    // By size: entries go, oldest first, until the modules fit.
    CompiledCache<Sized> bySize = new CompiledCache<>(16, 100);
    bySize.put("a", entry(60));
    bySize.put("b", entry(30));
    bySize.put("c", entry(20));  // 110: a goes
    String sized = held(bySize, "a", "b", "c");
    check(sized.equals("011"), "by size, a out: " + sized);
    bySize.put("d", entry(90));  // 140: b and c go, in that order
    sized = held(bySize, "b", "c", "d");
    check(sized.equals("001"), "by size, b and c out: " + sized);

    // A lone entry larger than the size is kept: the next run reuses it.
    CompiledCache<Sized> tooLarge = new CompiledCache<>(16, 100);
    tooLarge.put("big", entry(500));
    check(tooLarge.size() == 1, "a lone entry above the size is kept");
    tooLarge.put("small", entry(1));
    check(held(tooLarge, "big", "small").equals("01"), "the large one goes when another comes");

    // Putting a URI again counts its size once.
    CompiledCache<Sized> again = new CompiledCache<>(16, 100);
    again.put("a", entry(60));
    again.put("a", entry(60));
    again.put("b", entry(40));
    String replaced = held(again, "a", "b");
    check(replaced.equals("11"), "a replaced entry's size counted once: " + replaced);

    // A module that changes drops its entry.
    File module = File.createTempFile("module", ".xsl");
    try {
      Files.writeString(module.toPath(), "<first/>", StandardCharsets.UTF_8);
      CompileInputs inputs = new CompileInputs();
      inputs.read(module);
      CompiledCache<CompiledStylesheet> watched = new CompiledCache<>(16, 1_000);
      watched.put("m", new CompiledStylesheet(null, inputs, new byte[0]));
      check(watched.lookup("m") != null, "an unchanged module keeps its entry");
      Files.writeString(module.toPath(), "<later/>", StandardCharsets.UTF_8);  // same size
      check(watched.lookup("m") == null && watched.size() == 0, "a changed module drops its entry");
    } finally {
      Files.delete(module.toPath());
    }
    System.exit(failures == 0 ? 0 : 1);
  }
}
