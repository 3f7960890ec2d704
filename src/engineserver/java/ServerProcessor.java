// The engine server's one Saxon processor, shared by every run: its
// stylesheet compilers keep what they compile (CachingXsltCompiler), its
// stylesheets may read a source node's line and column (SourceLines), and
// each run numbers its documents as its own process would
// (RunDocumentNumbers).
import net.sf.saxon.s9api.Processor;
import net.sf.saxon.s9api.XsltCompiler;

final class ServerProcessor extends Processor {
  private final CompiledCache<CompiledStylesheet> cache;

  ServerProcessor(CompiledCache<CompiledStylesheet> cache) {
    super(false);
    this.cache = cache;
    SourceLines.register(getUnderlyingConfiguration());
    getUnderlyingConfiguration().setDocumentNumberAllocator(new RunDocumentNumbers());
  }

  @Override
  public XsltCompiler newXsltCompiler() {
    return new CachingXsltCompiler(this, cache);
  }
}
