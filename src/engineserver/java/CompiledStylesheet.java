// One compiled stylesheet in the engine server's cache, with everything its
// compile consulted (CompileInputs) and what the compile wrote to standard
// error.
import net.sf.saxon.s9api.XsltExecutable;

final class CompiledStylesheet {
  final XsltExecutable executable;
  final byte[] compileOutput;
  final CompileInputs inputs;
  final long moduleBytes;

  // `moduleBytes` is what the entry counts against the cache's size bound.
  CompiledStylesheet(XsltExecutable executable, CompileInputs inputs, long moduleBytes,
                     byte[] compileOutput) {
    this.executable = executable;
    this.inputs = inputs;
    this.moduleBytes = moduleBytes;
    this.compileOutput = compileOutput;
  }

  // True while a compile for the calling thread's run would consult exactly
  // what this one did: the same bytes in every file, whatever its size and
  // time stamp, the same absent files, variables and properties.
  boolean unchanged() {
    return inputs.sameFor(XslvalidateServer.currentRun());
  }
}
