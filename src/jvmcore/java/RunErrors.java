// The one System.err of the JVM, the one dispatcher of standard error:
// each write goes to the stream of the run the writing thread serves
// (threads a run starts inherit it), or to the JVM's own standard error
// outside runs and for runs whose host gives none. It takes no lock of its
// own: a run whose stream blocks (an unread pipe, a FIFO) holds only that
// stream's lock, so only its own run waits. A run's stream is what its
// host's errorSink gave (RunHost): a messages file of its own, or in the
// engine server its caller's standard error.
import java.io.PrintStream;
import java.util.Locale;

final class RunErrors extends PrintStream {
  private static final InheritableThreadLocal<PrintStream> RUN = new InheritableThreadLocal<>();

  // The JVM's standard error before this one was installed.
  private final PrintStream own;

  private RunErrors(PrintStream own) {
    super(own, true);
    this.own = own;
  }

  // Makes System.err dispatch by run; once, whoever asks first.
  static synchronized void install() {
    if (!(System.err instanceof RunErrors)) System.setErr(new RunErrors(System.err));
  }

  // The calling thread's run's stream, or null outside runs.
  static PrintStream current() {
    return RUN.get();
  }

  // Makes `stream` the standard error of the calling thread's run and of
  // the threads it starts from now on; null ends that.
  static void set(PrintStream stream) {
    if (stream == null) {
      RUN.remove();
    } else {
      RUN.set(stream);
    }
  }

  private PrintStream target() {
    PrintStream run = RUN.get();
    return run != null ? run : own;
  }

  @Override public void flush() { target().flush(); }
  @Override public void close() { target().flush(); }
  @Override public boolean checkError() { return target().checkError(); }
  @Override public void write(int b) { target().write(b); }
  @Override public void write(byte[] bytes, int offset, int length) {
    target().write(bytes, offset, length);
  }
  @Override public void write(byte[] bytes) { target().write(bytes, 0, bytes.length); }
  @Override public void writeBytes(byte[] bytes) { target().write(bytes, 0, bytes.length); }
  @Override public void print(boolean b) { target().print(b); }
  @Override public void print(char c) { target().print(c); }
  @Override public void print(int i) { target().print(i); }
  @Override public void print(long l) { target().print(l); }
  @Override public void print(float f) { target().print(f); }
  @Override public void print(double d) { target().print(d); }
  @Override public void print(char[] s) { target().print(s); }
  @Override public void print(String s) { target().print(s); }
  @Override public void print(Object o) { target().print(o); }
  @Override public void println() { target().println(); }
  @Override public void println(boolean b) { target().println(b); }
  @Override public void println(char c) { target().println(c); }
  @Override public void println(int i) { target().println(i); }
  @Override public void println(long l) { target().println(l); }
  @Override public void println(float f) { target().println(f); }
  @Override public void println(double d) { target().println(d); }
  @Override public void println(char[] s) { target().println(s); }
  @Override public void println(String s) { target().println(s); }
  @Override public void println(Object o) { target().println(o); }
  @Override public PrintStream printf(String format, Object... args) {
    return target().printf(format, args);
  }
  @Override public PrintStream printf(Locale l, String format, Object... args) {
    return target().printf(l, format, args);
  }
  @Override public PrintStream format(String format, Object... args) {
    return target().format(format, args);
  }
  @Override public PrintStream format(Locale l, String format, Object... args) {
    return target().format(l, format, args);
  }
  @Override public PrintStream append(CharSequence s) { return target().append(s); }
  @Override public PrintStream append(CharSequence s, int start, int end) {
    return target().append(s, start, end);
  }
  @Override public PrintStream append(char c) { return target().append(c); }
}
