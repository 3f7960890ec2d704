// What the engine server supplies to the runs of the run classes
// (RunHost), installed once by XslvalidateServer.start: its one shared
// processor, whose compilers keep what they compile; each run's caller's
// current date and time and standard error (RunContext); the failures it
// deals with itself; and its cache of compiled schema sets.
import java.io.File;
import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.util.List;
import net.sf.saxon.s9api.Processor;
import net.sf.saxon.value.DateTimeValue;

final class ServerHost implements RunHost {
  // Causes looked through, in case a chain of them loops.
  private static final int MAX_CAUSES = 32;

  private final Processor processor;
  private final CompiledCache<KeptSchema> schemas;

  ServerHost(Processor processor, CompiledCache<KeptSchema> schemas) {
    this.processor = processor;
    this.schemas = schemas;
  }

  @Override
  public Processor processor() {
    return processor;
  }

  @Override
  public DateTimeValue currentDateTime() {
    RunContext run = XslvalidateServer.currentRun();
    return run == null ? null : run.dateTime;
  }

  // Outside runs (never, in the server) the JVM's own standard error.
  @Override
  public PrintStream errorSink(OutputStream messagesFile) {
    RunContext run = XslvalidateServer.currentRun();
    if (run == null) return null;
    return new PrintStream(new RunErrorStream(run, messagesFile), true, StandardCharsets.UTF_8);
  }

  // The caller's switch, sent with the run; outside runs the server's own.
  @Override
  public boolean traces() {
    RunContext run = XslvalidateServer.currentRun();
    return run == null ? Diagnostics.PROCESS : run.debug;
  }

  // Taken over, so not reported: a run stopped because its caller went
  // away, whose caller's own process would have ended without a word; a
  // run that moves to the caller's own process; and a run that ran out of
  // memory, which in the server's shared heap may be another run's doing,
  // so it moves to the caller's own process too.
  @Override
  @SuppressWarnings("removal")
  public boolean takesFailure(Throwable failure) {
    RunContext run = XslvalidateServer.currentRun();
    if (run == null) return false;
    if (failure instanceof ThreadDeath) return run.silenced;
    Throwable cause = failure;
    for (int depth = 0; cause != null && depth < MAX_CAUSES; ++depth, cause = cause.getCause()) {
      if (cause instanceof RunMovesInProcess) return true;
      if (cause instanceof OutOfMemoryError) {
        XslvalidateServer.moveInProcess("the server's memory ran out during the run");
        return true;
      }
    }
    return false;
  }

  // Kept by the files' absolute names, in the order given.
  @Override
  public CompiledSchema compiledSchema(List<File> files) throws CompiledSchema.Failure {
    String key = KeptSchema.keyOf(files);
    KeptSchema found = schemas.lookup(key);
    if (found != null && found.schema.permittedNow()) return found.schema;
    CompiledSchema compiled = CompiledSchema.compile(files);
    schemas.put(key, new KeptSchema(compiled, files));
    return compiled;
  }

  // The compiled schema sets held now, least recently used first.
  List<KeptSchema> keptSchemas() {
    List<KeptSchema> kept = new java.util.ArrayList<>();
    for (java.util.Map.Entry<String, KeptSchema> entry : schemas.entries()) {
      kept.add(entry.getValue());
    }
    return kept;
  }
}
