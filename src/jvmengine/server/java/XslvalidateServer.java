// The Java side of the engine server (server_main.cpp does the sockets):
// one shared Saxon processor whose compilers keep compiled stylesheets, a
// cache of compiled schema sets, and runs that each carry their caller's
// standard error, environment and current date and time. A run itself is XslvalidateRun's, as in the
// library's own process.
import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.time.ZoneOffset;
import java.time.ZonedDateTime;
import java.util.HashMap;
import java.util.Map;
import net.sf.saxon.lib.Feature;
import net.sf.saxon.value.DateTimeValue;

public final class XslvalidateServer {
  private static final InheritableThreadLocal<RunContext> RUN = new InheritableThreadLocal<>();

  private XslvalidateServer() {}

  // The run the calling thread serves, or null outside runs.
  static RunContext currentRun() {
    return RUN.get();
  }

  // Sets the server up; called once, before any run. System.err becomes the
  // per-run stream before Saxon's configuration is made, since Saxon keeps
  // the stream it finds then. The cache holds at most `maxEntries`
  // stylesheets whose modules sum to at most `maxModuleBytes`, and so
  // does the cache of compiled schema sets.
  public static void start(int maxEntries, long maxModuleBytes) {
    System.setErr(new PrintStream(new RunErrorStream(new FileOutputStream(FileDescriptor.err)),
                                  true, StandardCharsets.UTF_8));
    ServerProcessor processor =
        new ServerProcessor(new CompiledCache<CompiledStylesheet>(maxEntries, maxModuleBytes));
    SchemaValidation.cache = new CompiledCache<CompiledSchema>(maxEntries, maxModuleBytes);
    processor.getUnderlyingConfiguration().setConfigurationProperty(
        Feature.ENVIRONMENT_VARIABLE_RESOLVER, new RunEnvironment());
    XslvalidateRun.sharedProcessor = processor;
  }

  // Runs the transform command with `args` for a caller whose standard
  // error is `err` (left open), whose environment is `environment`
  // ("NAME=value" entries) and whose time zone is `offsetSeconds` east of
  // UTC now. Returns XslvalidateRun.run's status.
  public static int run(String[] args, FileDescriptor err, String[] environment,
                        int offsetSeconds) {
    Map<String, String> variables = new HashMap<>();
    for (String entry : environment) {
      int equals = entry.indexOf('=');
      if (equals > 0) variables.putIfAbsent(entry.substring(0, equals), entry.substring(equals + 1));
    }
    RUN.set(new RunContext(new FileOutputStream(err), variables));
    XslvalidateRun.runDateTime.set(DateTimeValue.fromZonedDateTime(
        ZonedDateTime.now(ZoneOffset.ofTotalSeconds(offsetSeconds))));
    try {
      return XslvalidateRun.run(args);
    } finally {
      System.err.flush();
      XslvalidateRun.runDateTime.remove();
      RUN.remove();
    }
  }

  // Name of the thread that serves a connection (server_main.cpp).
  private static final String CONNECTION_THREAD = "xslvalidate-connection";

  // Stops every thread of `group` but the calling one and the connection's
  // own: the run of a caller that has gone away. Stopping a thread is the
  // only way to end Saxon in the middle of a transform; the run's own
  // clean-up (its temporary report file) happens as the stop unwinds it.
  // The connection's thread only waits for the run's thread, and must go
  // on waiting until that clean-up is done: it answers the caller, which
  // may be waiting for exactly that before it ends.
  @SuppressWarnings({"removal", "deprecation"})
  public static void cancel(ThreadGroup group) {
    Thread[] threads = new Thread[group.activeCount() + 8];
    int count = group.enumerate(threads, true);
    for (int i = 0; i < count; ++i) {
      Thread thread = threads[i];
      if (thread != Thread.currentThread() && !CONNECTION_THREAD.equals(thread.getName())) {
        thread.stop();
      }
    }
  }
}
