// A stylesheet compiler of the engine server: a principal module given as a
// local file is compiled once and its compiled form reused while everything
// the compile consulted (CompileInputs: modules, files and documents read,
// environment variables, system properties) is the same for the run at
// hand. What the compile wrote to standard error (warnings) is written
// again on each reuse, so a run's text is the same with the cache as
// without. Compiles that fail, or that consulted what cannot be recorded,
// are not kept.
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.File;
import javax.xml.transform.Source;
import javax.xml.transform.URIResolver;
import javax.xml.transform.stream.StreamSource;
import net.sf.saxon.s9api.Processor;
import net.sf.saxon.s9api.SaxonApiException;
import net.sf.saxon.s9api.XsltCompiler;
import net.sf.saxon.s9api.XsltExecutable;

final class CachingXsltCompiler extends XsltCompiler {
  private final CompiledCache<CompiledStylesheet> cache;

  CachingXsltCompiler(Processor processor, CompiledCache<CompiledStylesheet> cache) {
    super(processor);
    this.cache = cache;
  }

  @Override
  public XsltExecutable compile(Source source) throws SaxonApiException {
    File file = principalFile(source);
    if (file == null) return super.compile(source);
    String uri = source.getSystemId();
    RunContext run = XslvalidateServer.currentRun();
    CompiledStylesheet kept = cache.lookup(uri);
    if (kept != null) {
      if (kept.compileOutput.length > 0) {
        System.err.write(kept.compileOutput, 0, kept.compileOutput.length);
        System.err.flush();
      }
      return kept.executable;
    }
    URIResolver previous = getURIResolver();
    CompileInputs inputs = new CompileInputs();
    ModuleRecorder recorder = new ModuleRecorder(previous, inputs);
    byte[] content = recorder.record(file, uri);
    if (content == null) return super.compile(source);  // Saxon reports why
    setURIResolver(recorder);
    ByteArrayOutputStream output = new ByteArrayOutputStream();
    if (run != null) {
      run.capture = output;
      run.compiling = inputs;
    }
    XsltExecutable executable;
    try {
      executable = super.compile(new StreamSource(new ByteArrayInputStream(content), uri));
    } finally {
      if (run != null) {
        run.capture = null;
        run.compiling = null;
      }
      recorder.closed = true;
      setURIResolver(previous);
    }
    if (inputs.keepable()) {
      cache.put(uri, new CompiledStylesheet(executable, inputs, output.toByteArray()));
    }
    return executable;
  }

  // The local file of a principal module given by its URI alone, else null.
  private static File principalFile(Source source) {
    if (!(source instanceof StreamSource)) return null;
    StreamSource stream = (StreamSource) source;
    if (stream.getInputStream() != null || stream.getReader() != null) return null;
    return stream.getSystemId() == null ? null : SourceFiles.localFile(stream.getSystemId());
  }
}
