// A stylesheet compiler of the engine server: a principal module given as a
// local file is compiled once and its compiled form reused while everything
// the compile consulted (CompileInputs: modules, files and documents read,
// environment variables, system properties) is the same for the run at
// hand. What the compile wrote to standard error (warnings) is written
// again on each reuse, so a run's text is the same with the cache as
// without. Compiles that fail, or that consulted what cannot be recorded,
// are not kept. With the caller's debug switch on, each compile says
// whether it was taken from the cache or compiled.
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.nio.charset.StandardCharsets;
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

  // Thrown past the run's compile, once it is done, for a run that only
  // compiles (RunContext.compileOnly): the run ends there.
  static final class CompiledOnly extends Error {
    private static final long serialVersionUID = 1L;

    CompiledOnly() {
      super("compiled only", null, false, false);
    }
  }

  @Override
  public XsltExecutable compile(Source source) throws SaxonApiException {
    RunContext run = XslvalidateServer.currentRun();
    XsltExecutable executable = compileOrReuse(source, run);
    if (run != null && run.compileOnly) {
      run.silenced = true;
      throw new CompiledOnly();
    }
    return executable;
  }

  private XsltExecutable compileOrReuse(Source source, RunContext run) throws SaxonApiException {
    File file = principalFile(source);
    if (file == null) return super.compile(source);
    String uri = source.getSystemId();
    CompiledStylesheet kept = cache.lookup(uri);
    if (kept != null) {
      trace(run, "stylesheet " + uri + " taken from the engine server's cache");
      if (run != null) run.documents.reuse(kept.firstDocument, kept.endDocument);
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
    final long firstDocument = run == null ? 0 : run.documents.peek();
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
    boolean keepable = inputs.keepable();
    if (keepable) {
      cache.put(uri, new CompiledStylesheet(executable, inputs, output.toByteArray(),
                                            run == null ? System.getenv() : run.environment,
                                            run == null ? "/" : run.directory, firstDocument,
                                            run == null ? 0 : run.documents.peek()));
    }
    trace(run, "stylesheet " + uri + " compiled"
                   + (keepable ? ", kept in the engine server's cache" : ", not kept"));
    return executable;
  }

  // Writes the trace line "xslvalidate debug: <what>" to the caller's
  // standard error when its debug switch is on: straight to the caller, as
  // the server's own trace lines go, so it is neither a message of the run
  // nor part of a compile's output kept for later runs.
  private static void trace(RunContext run, String what) {
    if (run == null || !run.debug || run.silenced) return;
    try {
      run.err.write(("xslvalidate debug: " + what + "\n").getBytes(StandardCharsets.UTF_8));
      run.err.flush();
    } catch (java.io.IOException e) {
      // The caller's standard error is the caller's to mend.
    }
  }

  // The local file of a principal module given by its URI alone, else null.
  private static File principalFile(Source source) {
    if (!(source instanceof StreamSource)) return null;
    StreamSource stream = (StreamSource) source;
    if (stream.getInputStream() != null || stream.getReader() != null) return null;
    return stream.getSystemId() == null ? null : SourceFiles.localFile(stream.getSystemId());
  }
}
