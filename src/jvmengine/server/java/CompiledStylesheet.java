// One compiled stylesheet in the engine server's cache, with the modules
// read to compile it (and their content hashes) and what the compile wrote
// to standard error.
import net.sf.saxon.s9api.XsltExecutable;

final class CompiledStylesheet implements CompiledCache.Entry {
  final XsltExecutable executable;
  final byte[] compileOutput;
  private final SourceFiles modules;

  CompiledStylesheet(XsltExecutable executable, SourceFiles modules, byte[] compileOutput) {
    this.executable = executable;
    this.modules = modules;
    this.compileOutput = compileOutput;
  }

  @Override
  public boolean unchanged() {
    return modules.unchanged();
  }

  @Override
  public long sourceBytes() {
    return modules.bytes();
  }
}
