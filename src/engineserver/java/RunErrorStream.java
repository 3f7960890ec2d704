// The engine server's System.err: every write goes to the standard error of
// the caller whose run the writing thread serves (threads a run starts
// inherit it), so runs of several callers at once each see their own text,
// in the order written, or to the run's own file of messages when it names
// one (RunErrorFile). Threads outside any run write to the server's own
// standard error. A run that has been silenced (stopped, or moved to the
// caller's own process) writes nothing more.
import java.io.IOException;
import java.io.OutputStream;

final class RunErrorStream extends OutputStream {
  private final OutputStream serverErr;

  RunErrorStream(OutputStream serverErr) {
    this.serverErr = serverErr;
  }

  @Override
  public void write(int b) throws IOException {
    write(new byte[] {(byte) b}, 0, 1);
  }

  @Override
  public void write(byte[] bytes, int offset, int length) throws IOException {
    RunContext run = XslvalidateServer.currentRun();
    if (run != null && (run.silenced || length == 0)) return;
    if (run != null && run.capture != null) run.capture.write(bytes, offset, length);
    OutputStream file = RunErrorFile.current();
    if (file != null) {
      // A run handed back re-creates its file in the caller's process.
      file.write(bytes, offset, length);
    } else if (run == null) {
      serverErr.write(bytes, offset, length);
    } else {
      run.wroteError = true;
      run.err.write(bytes, offset, length);
    }
  }

  @Override
  public void flush() throws IOException {
    RunContext run = XslvalidateServer.currentRun();
    OutputStream file = RunErrorFile.current();
    (file != null ? file : run == null ? serverErr : run.err).flush();
  }
}
