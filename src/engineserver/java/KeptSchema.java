// A compiled schema set in the engine server's cache: kept while every
// file its compile read is byte for byte the same.
final class KeptSchema implements CompiledCache.Entry {
  final CompiledSchema schema;

  KeptSchema(CompiledSchema schema) {
    this.schema = schema;
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
