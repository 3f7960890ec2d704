// The Java side of the engine server (server_main.cpp does the sockets):
// one shared Saxon processor whose compilers keep compiled stylesheets, a
// cache of compiled schema sets, and runs that each carry their caller's
// standard error, environment, current directory and current date and
// time. A run itself is XslvalidateRun's, as in the library's own process.
// A run that the server cannot serve as the caller's own process would (it
// reads the caller's standard input, say) is handed back to the caller to
// run itself.
import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.time.ZoneOffset;
import java.time.ZonedDateTime;
import java.util.HashMap;
import java.util.HashSet;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;
import net.sf.saxon.Configuration;
import net.sf.saxon.lib.Feature;
import net.sf.saxon.value.DateTimeValue;

public final class XslvalidateServer {
  private static final InheritableThreadLocal<RunContext> RUN = new InheritableThreadLocal<>();

  // The run in progress of each connection, by the connection's thread
  // group.
  private static final Map<ThreadGroup, RunContext> RUNS = new ConcurrentHashMap<>();

  // The connections whose run was cancelled before it was registered: the
  // run, once it registers, ends at once.
  private static final Set<ThreadGroup> CANCELLED = ConcurrentHashMap.newKeySet();

  // The status run() gives for a run the caller must run itself: nothing
  // of it reached the caller, and its report was not put in place.
  public static final int IN_PROCESS = -1;

  // The option that carries the caller's current directory (RunOptions).
  private static final String DIRECTORY = "-cwd:";

  private XslvalidateServer() {}

  // The run the calling thread serves, or null outside runs.
  static RunContext currentRun() {
    return RUN.get();
  }

  // Sets the server up; called once, before any run. System.err dispatches
  // by run (RunErrors) before Saxon's configuration is made, since Saxon
  // keeps the stream it finds then. The cache holds at most `maxEntries`
  // stylesheets whose modules sum to at most `maxModuleBytes`, and so
  // does the cache of compiled schema sets.
  @SuppressWarnings("deprecation")  // the output resolver: still what the command line's runs use
  public static void start(int maxEntries, long maxModuleBytes) {
    RunErrors.install();
    RunProperties.install();
    ServerProcessor processor =
        new ServerProcessor(new CompiledCache<CompiledStylesheet>(maxEntries, maxModuleBytes));
    SchemaValidation.cache = new CompiledCache<CompiledSchema>(maxEntries, maxModuleBytes);
    Configuration config = processor.getUnderlyingConfiguration();
    config.setConfigurationProperty(Feature.ENVIRONMENT_VARIABLE_RESOLVER, new RunEnvironment());
    config.setURIResolver(new RunURIResolver());
    config.setUnparsedTextURIResolver(new RunTextResolver(config.getUnparsedTextURIResolver()));
    config.setOutputURIResolver(new RunOutputResolver(config.getOutputURIResolver()));
    config.setCollectionFinder(new RunCollectionFinder(config.getCollectionFinder()));
    RemoteFiles.refuseOn(config);
    XslvalidateRun.failureTaker = new RunFailures();
    MemoryWatch.start();
    XslvalidateRun.sharedProcessor = processor;
  }

  // Runs the transform command with `args` for a caller whose standard
  // error is `err` (left open), whose environment is `environment`
  // ("NAME=value" entries) and whose time zone is `offsetSeconds` east of
  // UTC now; `debug` is the caller's debug switch, for the run's trace
  // lines. Returns XslvalidateRun.run's status; IN_PROCESS when the caller
  // must run it itself. A run that cannot be served here but has already
  // written to the caller's standard error fails with status 2 and says
  // why.
  public static int run(String[] args, FileDescriptor err, String[] environment,
                        int offsetSeconds, boolean debug) {
    Map<String, String> variables = new HashMap<>();
    for (String entry : environment) {
      int equals = entry.indexOf('=');
      if (equals > 0) variables.putIfAbsent(entry.substring(0, equals), entry.substring(equals + 1));
    }
    String directory = "/";
    for (String arg : args) {
      if (arg.startsWith(DIRECTORY)) directory = arg.substring(DIRECTORY.length());
    }
    RunContext context = new RunContext(new FileOutputStream(err), variables, directory);
    ThreadGroup group = Thread.currentThread().getThreadGroup();
    RUN.set(context);
    RunErrors.set(new PrintStream(new RunErrorStream(context), true, StandardCharsets.UTF_8));
    RUNS.put(group, context);
    if (CANCELLED.remove(group)) {
      // Its caller went away before the run started: nothing is run.
      RUNS.remove(group);
      RunErrors.set(null);
      RUN.remove();
      return 2;
    }
    Diagnostics.forRun.set(debug);
    XslvalidateRun.runDateTime.set(DateTimeValue.fromZonedDateTime(
        ZonedDateTime.now(ZoneOffset.ofTotalSeconds(offsetSeconds))));
    try {
      int status = XslvalidateRun.run(args);
      String why = context.inProcessReason;
      if (why == null) return status;
      if (!context.wroteError) return IN_PROCESS;
      context.err.write(("xslvalidate: the engine server could not finish this run as the tool's"
                         + " own process would (" + why + "); run it with XSLVALIDATE_SERVER=off\n")
                            .getBytes(StandardCharsets.UTF_8));
      return 2;
    } catch (java.io.IOException e) {
      return 2;
    } finally {
      System.err.flush();
      RunErrors.set(null);
      XslvalidateRun.runDateTime.remove();
      RUNS.remove(group);
      Diagnostics.forRun.remove();
      RUN.remove();
    }
  }

  // Marks the calling thread's run as one the caller must run itself, for
  // `why`, and silences it; returns the Error that unwinds it, for the
  // caller to throw.
  static RunMovesInProcess moveInProcess(String why) {
    RunContext run = currentRun();
    if (run != null) run.handBack(why);
    return new RunMovesInProcess(why);
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
  public static void cancel(ThreadGroup group) {
    RunContext run = RUNS.get(group);
    if (run == null) {
      CANCELLED.add(group);
      run = RUNS.get(group);
      if (run == null || !CANCELLED.remove(group)) {
        stopThreads(group, null);
        return;  // the run, when it registers, ends at once
      }
    }
    run.silenced = true;  // the caller's process would end without a word
    // Threads the run starts after the first round (its worker, if the
    // cancel came before it started) are stopped too, each once, until the
    // run has ended.
    Set<Thread> stopped = new HashSet<>();
    while (RUNS.get(group) == run) {
      stopThreads(group, stopped);
      try {
        Thread.sleep(CANCEL_ROUND_MILLIS);
      } catch (InterruptedException e) {
        Thread.currentThread().interrupt();
        return;
      }
    }
  }

  // How often cancel looks for threads a cancelled run started since.
  private static final long CANCEL_ROUND_MILLIS = 20;

  // The runs in progress, by their connection's thread group.
  static Map<ThreadGroup, RunContext> runsInProgress() {
    return RUNS;
  }

  // Stops the run of `group` as cancel does, and has its caller run it
  // itself for `why` (or, when the run already wrote to the caller, fail
  // saying why).
  static void handBack(ThreadGroup group, String why) {
    RunContext run = RUNS.get(group);
    if (run == null) return;
    run.handBack(why);
    stopThreads(group, null);
  }

  @SuppressWarnings({"removal", "deprecation"})
  // Stops every thread of `group` but the calling one and the
  // connection's, and but those in `stopped` (which then gets the others).
  private static void stopThreads(ThreadGroup group, Set<Thread> stopped) {
    Thread[] threads = new Thread[group.activeCount() + 8];
    int count = group.enumerate(threads, true);
    for (int i = 0; i < count; ++i) {
      Thread thread = threads[i];
      if (thread == Thread.currentThread() || CONNECTION_THREAD.equals(thread.getName())) continue;
      if (stopped != null && !stopped.add(thread)) continue;
      thread.stop();
    }
  }
}
