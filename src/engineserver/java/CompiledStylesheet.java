// One compiled stylesheet in the engine server's cache, with everything its
// compile consulted (CompileInputs), what the compile wrote to standard
// error, the environment and current directory of the run it was compiled
// for (so that a successor server compiles it as that run did), and the
// document numbers the compile gave.
import java.util.Map;
import net.sf.saxon.s9api.XsltExecutable;

final class CompiledStylesheet implements CompiledCache.Entry {
  final XsltExecutable executable;
  final byte[] compileOutput;
  final Map<String, String> environment;
  final String directory;
  // The document numbers the compile gave, [firstDocument, endDocument)
  // (DocumentNumbers.reuse).
  final long firstDocument;
  final long endDocument;
  private final CompileInputs inputs;

  CompiledStylesheet(XsltExecutable executable, CompileInputs inputs, byte[] compileOutput,
                     Map<String, String> environment, String directory, long firstDocument,
                     long endDocument) {
    this.executable = executable;
    this.inputs = inputs;
    this.compileOutput = compileOutput;
    this.environment = environment;
    this.directory = directory;
    this.firstDocument = firstDocument;
    this.endDocument = endDocument;
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
