// One compiled stylesheet in the engine server's cache, with everything its
// compile consulted (CompileInputs) and what the compile wrote to standard
// error.
import net.sf.saxon.s9api.XsltExecutable;

final class CompiledStylesheet implements CompiledCache.Entry {
  final XsltExecutable executable;
  final byte[] compileOutput;
  private final CompileInputs inputs;

  CompiledStylesheet(XsltExecutable executable, CompileInputs inputs, byte[] compileOutput) {
    this.executable = executable;
    this.inputs = inputs;
    this.compileOutput = compileOutput;
  }

  // True while a compile for the calling thread's run would consult exactly
  // what this one did: the same bytes in every file, whatever its size and
  // time stamp, the same absent files, variables and properties.
  @Override
  public boolean unchanged() {
    return inputs.sameFor(XslvalidateServer.currentRun());
  }

  @Override
  public long sourceBytes() {
    return inputs.bytes();
  }
}
