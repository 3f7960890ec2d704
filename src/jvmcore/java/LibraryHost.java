// The host of runs in the engine library's own process: nothing is shared
// or kept between runs. Each run makes its own processor, takes the JVM's
// clock and time zone, writes to the process's standard error (or its own
// messages file), reports every failure, and compiles its schemas anew.
import java.io.File;
import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.util.List;
import net.sf.saxon.s9api.Processor;
import net.sf.saxon.value.DateTimeValue;

final class LibraryHost implements RunHost {
  @Override
  public Processor processor() {
    return null;
  }

  @Override
  public DateTimeValue currentDateTime() {
    return null;
  }

  @Override
  public PrintStream errorSink(OutputStream messagesFile) {
    return messagesFile == null ? null
        : new PrintStream(messagesFile, true, StandardCharsets.UTF_8);
  }

  @Override
  public boolean traces() {
    return Diagnostics.PROCESS;
  }

  @Override
  public boolean takesFailure(Throwable failure) {
    return false;
  }

  @Override
  public CompiledSchema compiledSchema(List<File> schemas) throws CompiledSchema.Failure {
    return CompiledSchema.compile(schemas);
  }
}
