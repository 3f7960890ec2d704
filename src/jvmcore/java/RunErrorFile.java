// A run's standard error written to a file of the caller's choosing
// ("-err:<file>"), so that a caller running several documents at once
// keeps each run's messages apart. The file is held per run, on the run's
// threads (those it starts inherit it); System.err sends each write to the
// writing thread's file, or where it went before when that thread's run
// has none. In the engine server, whose System.err sends writes to each
// caller's own standard error, that stream asks here first as well.
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;

final class RunErrorFile extends OutputStream {
  private static final InheritableThreadLocal<OutputStream> FILE = new InheritableThreadLocal<>();

  private final OutputStream before;

  private RunErrorFile(OutputStream before) {
    this.before = before;
  }

  // The file the calling thread's run writes its standard error to, or
  // null.
  static OutputStream current() {
    return FILE.get();
  }

  // Creates (or truncates) `file` and makes it the calling thread's
  // standard error until release(); System.err is made to honour it first
  // if it does not yet. Throws when the file cannot be opened.
  static synchronized void redirect(File file) throws IOException {
    OutputStream out = new FileOutputStream(file);
    if (!(System.err instanceof Dispatching)) {
      System.setErr(new Dispatching(new RunErrorFile(System.err)));
    }
    FILE.set(out);
  }

  // Closes the calling thread's file, if any, and gives it back its usual
  // standard error.
  static void release() {
    OutputStream out = FILE.get();
    FILE.remove();
    if (out == null) return;
    try {
      out.close();
    } catch (IOException ignored) {
      // What was written has been written.
    }
  }

  @Override
  public void write(int b) throws IOException {
    write(new byte[] {(byte) b}, 0, 1);
  }

  @Override
  public void write(byte[] bytes, int offset, int length) throws IOException {
    OutputStream out = FILE.get();
    (out != null ? out : before).write(bytes, offset, length);
  }

  @Override
  public void flush() throws IOException {
    OutputStream out = FILE.get();
    (out != null ? out : before).flush();
  }

  // The System.err that RunErrorFile installs; messages are UTF-8, as the
  // engine's standard error is.
  private static final class Dispatching extends PrintStream {
    Dispatching(RunErrorFile target) {
      super(target, true, StandardCharsets.UTF_8);
    }
  }
}
