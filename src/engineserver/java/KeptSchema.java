// A compiled schema set in the engine server's cache: kept while every
// file its compile read is byte for byte the same. It keeps the schema
// files as given, in their order, so that a successor server can compile
// the set again.
import java.io.File;
import java.util.List;

final class KeptSchema implements CompiledCache.Entry {
  final CompiledSchema schema;
  final List<File> files;

  KeptSchema(CompiledSchema schema, List<File> files) {
    this.schema = schema;
    this.files = List.copyOf(files);
  }

  // The cache's key of the schema set `files`: each absolute name with its
  // length before it, so that no two lists of names share a key (a name
  // may hold any character, a line break included).
  static String keyOf(List<File> files) {
    StringBuilder key = new StringBuilder();
    for (File file : files) {
      String name = file.getAbsolutePath();
      key.append(name.length()).append(':').append(name);
    }
    return key.toString();
  }

  @Override
  public boolean unchanged() {
    return schema.unchanged();
  }

  @Override
  public long sourceBytes() {
    return schema.sourceBytes();
  }
}
