// A run's standard error written to a file of the caller's choosing
// ("-err:<file>"), so that a caller running several documents at once
// keeps each run's messages apart. The file is held per run, on the run's
// threads (those it starts inherit it). In the library's own process it
// becomes the run's stream of RunErrors; in the engine server, whose runs
// each have a stream to their caller already, that stream asks here first.
// Opening the file (a FIFO may block there) holds no lock another run
// needs.
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;

final class RunErrorFile {
  private static final InheritableThreadLocal<OutputStream> FILE = new InheritableThreadLocal<>();

  // The run's stream made here, while it is the run's (RunErrors).
  private static final ThreadLocal<PrintStream> STREAM = new ThreadLocal<>();

  private RunErrorFile() {}

  // The file the calling thread's run writes its standard error to, or
  // null.
  static OutputStream current() {
    return FILE.get();
  }

  // Creates (or truncates) `file` and makes it the calling thread's
  // standard error until release(). Throws when the file cannot be opened.
  static void redirect(File file) throws IOException {
    OutputStream out = new FileOutputStream(file);
    FILE.set(out);
    if (RunErrors.current() == null) {
      RunErrors.install();
      PrintStream stream = new PrintStream(out, true, StandardCharsets.UTF_8);
      STREAM.set(stream);
      RunErrors.set(stream);
    }
  }

  // Closes the calling thread's file, if any, and gives it back its usual
  // standard error.
  static void release() {
    OutputStream out = FILE.get();
    FILE.remove();
    PrintStream stream = STREAM.get();
    STREAM.remove();
    if (stream != null) {
      stream.flush();
      if (RunErrors.current() == stream) RunErrors.set(null);
    }
    if (out == null) return;
    try {
      out.close();
    } catch (IOException ignored) {
      // What was written has been written.
    }
  }
}
