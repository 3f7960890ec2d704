// The standard error of one run in the engine server (its stream of
// RunErrors, so threads the run starts write here too: ServerHost's
// errorSink): the caller's standard error, or the run's own file of
// messages when it names one. While the run compiles a stylesheet for the
// cache, a copy goes to the compile's capture. A run that has been
// silenced (stopped, or moved to the caller's own process) writes nothing
// more. Each run has its own, so a caller whose standard error blocks
// holds up only its own run.
import java.io.IOException;
import java.io.OutputStream;

final class RunErrorStream extends OutputStream {
  private final RunContext run;

  // The run's messages file, or null: the caller's standard error.
  private final OutputStream file;

  RunErrorStream(RunContext run, OutputStream file) {
    this.run = run;
    this.file = file;
  }

  @Override
  public void write(int b) throws IOException {
    write(new byte[] {(byte) b}, 0, 1);
  }

  @Override
  public void write(byte[] bytes, int offset, int length) throws IOException {
    if (run.silenced || length == 0) return;
    if (run.capture != null) run.capture.write(bytes, offset, length);
    if (file != null) {
      // A run handed back re-creates its file in the caller's process.
      file.write(bytes, offset, length);
    } else {
      run.wroteError = true;
      run.err.write(bytes, offset, length);
    }
  }

  @Override
  public void flush() throws IOException {
    (file != null ? file : run.err).flush();
  }
}
