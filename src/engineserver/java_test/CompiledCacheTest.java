// The engine server's cache of compiles (stylesheets, schema sets) on its
// own: entries go
// least recently used first when there are more than the count allows
// or their modules sum to more than the size allows; a lone entry above the
// size stays; putting a URI again replaces its entry and its size; an entry
// whose module changed is dropped; the list of entries handed to a
// successor server. Run as a program: exits 0 when every
// check passes, 1 after naming each check that failed.

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

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
      watched.put("m", new CompiledStylesheet(null, inputs, new byte[0], Map.of(), "/", 0, 0));
      check(watched.lookup("m") != null, "an unchanged module keeps its entry");
      Files.writeString(module.toPath(), "<later/>", StandardCharsets.UTF_8);  // same size
      check(watched.lookup("m") == null && watched.size() == 0, "a changed module drops its entry");
    } finally {
      Files.delete(module.toPath());
    }
    // The entries a successor is handed come least recently used first.
    CompiledCache<Sized> ordered = new CompiledCache<>(16, 1_000);
    ordered.put("a", entry(1));
    ordered.put("b", entry(1));
    ordered.lookup("a");
    StringBuilder order = new StringBuilder();
    for (Map.Entry<String, Sized> held : ordered.entries()) order.append(held.getKey());
    check(order.toString().equals("ba"), "entries least recently used first: " + order);

    // No two lists of schema files share a key, whatever their names hold.
    check(!KeptSchema.keyOf(List.of(new File("/x\n/y")))
               .equals(KeptSchema.keyOf(List.of(new File("/x"), new File("/y")))),
          "a name with a line break is not two names");

    checkHeldList();
    checkDocumentNumbers();
    System.exit(failures == 0 ? 0 : 1);
  }

  // A run numbers its documents from the first number up; a reused compile
  // counts as the compile it stands for, and the numbers its documents got
  // are never given again in the run, wherever the run stands.
  private static void checkDocumentNumbers() {
    DocumentNumbers fresh = new DocumentNumbers();
    check(fresh.next() == DocumentNumbers.FIRST, "a run's first document gets the first number");
    DocumentNumbers reusing = new DocumentNumbers();
    reusing.reuse(DocumentNumbers.FIRST, DocumentNumbers.FIRST + 2);
    check(reusing.next() == DocumentNumbers.FIRST + 2,
          "a reused compile's numbers are passed over");
    DocumentNumbers later = new DocumentNumbers();
    later.next();
    later.reuse(DocumentNumbers.FIRST + 3, DocumentNumbers.FIRST + 5);
    long[] given = {later.next(), later.next(), later.next(), later.next()};
    for (long number : given) {
      check(number < DocumentNumbers.FIRST + 3 || number >= DocumentNumbers.FIRST + 5,
            "a reused compile's own numbers are never given: " + number);
    }
    check(given[0] == DocumentNumbers.FIRST + 5, "numbering goes on past the compile's count");
  }

  // The list a retiring server hands its successor comes back as written,
  // names with line breaks and other scripts included, over whatever the
  // file held; it is written only into a file that exists (the anonymous
  // one the server made); a list cut short is no list.
  private static void checkHeldList() throws IOException {
    File folder = Files.createTempDirectory("held").toFile();
    File list = new File(folder, "held");
    try {
      Map<String, String> environment = new LinkedHashMap<>();
      environment.put("HOME", "/home/ä");
      environment.put("EMPTY", "");
      List<HeldCompiles.Stylesheet> sheets = List.of(
          new HeldCompiles.Stylesheet("/rules/a\nb.xsl", "/work", environment),
          new HeldCompiles.Stylesheet("/rules/\u00e9t\u00e9.xsl", "/", Map.of()));
      List<List<File>> schemaSets =
          List.of(List.of(new File("/s/a.xsd"), new File("/s/b.xsd")), List.of());
      check(!HeldCompiles.write(list, sheets, schemaSets) && !list.exists(),
            "no list is written where there is no file, and no file is made");
      Files.write(list.toPath(), new byte[100_000]);
      check(HeldCompiles.write(list, sheets, schemaSets), "the list is written");
      HeldCompiles back = HeldCompiles.read(list);
      check(back != null && back.stylesheets.size() == 2
                && back.stylesheets.get(0).file.equals("/rules/a\nb.xsl")
                && back.stylesheets.get(0).directory.equals("/work")
                && back.stylesheets.get(0).environment.equals(environment)
                && back.stylesheets.get(1).file.equals("/rules/\u00e9t\u00e9.xsl")
                && back.schemaSets.equals(schemaSets),
            "the list reads back as written");
      byte[] whole = Files.readAllBytes(list.toPath());
      Files.write(list.toPath(), java.util.Arrays.copyOf(whole, whole.length - 3));
      check(HeldCompiles.read(list) == null, "a list cut short is refused");
    } finally {
      list.delete();
      folder.delete();
    }
  }
}
