// The Java side of the engine server (server_main.cpp does the sockets):
// one shared Saxon processor whose compilers keep compiled stylesheets, a
// cache of compiled schema sets, and runs that each carry their caller's
// standard error, environment, current directory and current date and
// time (ServerHost, the run classes' host). A run itself is
// XslvalidateRun's, as in the library's own process. A run that the server
// cannot serve as the caller's own process would (it reads the caller's
// standard input, say) is handed back to the caller to run itself.
//
// A server that retires hands what its caches hold to its successor
// (writeHeld), which compiles it all before it takes over (warmUp).
//
// Each run has one owner: the connection's thread makes its record
// (open), runs it (run) and only then forgets it; a cancel from the
// connection's watcher acts on that record, before the run starts or
// while it goes.
import java.io.File;
import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.time.ZoneOffset;
import java.time.ZonedDateTime;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.ConcurrentHashMap;
import net.sf.saxon.Configuration;
import net.sf.saxon.lib.Feature;
import net.sf.saxon.value.DateTimeValue;

public final class XslvalidateServer {
  private static final InheritableThreadLocal<RunContext> RUN = new InheritableThreadLocal<>();

  // The runs opened and not yet ended.
  private static final Set<RunContext> RUNS = ConcurrentHashMap.newKeySet();

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

  // Sets the server up; called once, before any run: installs the run
  // classes' host (ServerHost). System.err dispatches by run (RunErrors)
  // before Saxon's configuration is made, since Saxon keeps the stream it
  // finds then. The cache holds at most `maxEntries` stylesheets whose
  // modules sum to at most `maxModuleBytes`, and so does the cache of
  // compiled schema sets.
  @SuppressWarnings("deprecation")  // the output resolver: still what the command line's runs use
  public static void start(int maxEntries, long maxModuleBytes) {
    RunErrors.install();
    RunProperties.install();
    stylesheets = new CompiledCache<CompiledStylesheet>(maxEntries, maxModuleBytes);
    ServerProcessor processor = new ServerProcessor(stylesheets);
    Configuration config = processor.getUnderlyingConfiguration();
    config.setConfigurationProperty(Feature.ENVIRONMENT_VARIABLE_RESOLVER, new RunEnvironment());
    config.setURIResolver(new RunURIResolver());
    config.setUnparsedTextURIResolver(new RunTextResolver(config.getUnparsedTextURIResolver()));
    config.setOutputURIResolver(new RunOutputResolver(config.getOutputURIResolver()));
    config.setCollectionFinder(new RunCollectionFinder(config.getCollectionFinder()));
    RunResolvers.install(config);
    MemoryWatch.start();
    host = new ServerHost(processor, new CompiledCache<KeptSchema>(maxEntries, maxModuleBytes));
    XslvalidateRun.install(host);
  }

  // The caches, set by start.
  private static CompiledCache<CompiledStylesheet> stylesheets;
  private static ServerHost host;

  // Writes what the caches hold into the file `path` (HeldCompiles: the
  // server's anonymous file), for a successor server to compile the same.
  // False when it cannot be written.
  public static boolean writeHeld(String path) {
    List<HeldCompiles.Stylesheet> held = new ArrayList<>();
    for (Map.Entry<String, CompiledStylesheet> entry : stylesheets.entries()) {
      CompiledStylesheet kept = entry.getValue();
      File file = SourceFiles.localFile(entry.getKey());
      if (file == null) continue;
      held.add(new HeldCompiles.Stylesheet(file.getPath(), kept.directory, kept.environment));
    }
    List<List<File>> schemaSets = new ArrayList<>();
    for (KeptSchema kept : host.keptSchemas()) schemaSets.add(kept.files);
    return HeldCompiles.write(new File(path), held, schemaSets);
  }

  // Compiles into the caches what the file `path` lists (writeHeld), in
  // its order; what no longer compiles is left out. Each stylesheet is
  // compiled by a run of its own that ends right after its compile
  // (RunContext.compileOnly), so the compiler is set up exactly as for a
  // caller's run, with the environment and current directory of the run it
  // was compiled for before; those runs' threads are in a group of their
  // own. Returns how many entries the caches hold then; -1 when the list
  // cannot be read.
  public static int warmUp(String path) throws InterruptedException {
    HeldCompiles held = HeldCompiles.read(new File(path));
    if (held == null) return -1;
    ThreadGroup group = new ThreadGroup("xslvalidate-warm-up");
    Thread warming = new Thread(group, () -> {
      for (HeldCompiles.Stylesheet sheet : held.stylesheets) compileOnly(sheet, group);
      for (List<File> files : held.schemaSets) {
        try {
          host.compiledSchema(files);
        } catch (CompiledSchema.Failure e) {
          // No longer compiles: the run that needs it says why.
        }
      }
    }, "xslvalidate-warm-up");
    warming.start();
    warming.join();
    return stylesheets.size() + host.keptSchemas().size();
  }

  // A run of `sheet` that stops once its stylesheet is compiled and kept.
  // Its source is the stylesheet itself, a file that exists and is never
  // read as the source, since the run ends before its transform.
  private static void compileOnly(HeldCompiles.Stylesheet sheet, ThreadGroup group) {
    String[] args = {"-s:" + sheet.file, "-xsl:" + sheet.file, DIRECTORY + sheet.directory};
    DateTimeValue now = DateTimeValue.fromZonedDateTime(ZonedDateTime.now());
    RunContext run = new RunContext(args, group, OutputStream.nullOutputStream(),
                                    sheet.environment, sheet.directory, now, false);
    run.compileOnly = true;
    RUNS.add(run);
    run(run);
  }

  // The record of a run of the transform command with `args`, for a
  // caller whose standard error is `err` (left open), whose environment is
  // `environment` ("NAME=value" entries) and whose time zone is
  // `offsetSeconds` east of UTC now; `debug` is the caller's debug switch,
  // for the run's trace lines. Called by the connection's thread before
  // the run can be cancelled; nothing of the run starts here.
  public static RunContext open(String[] args, FileDescriptor err, String[] environment,
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
    DateTimeValue now = DateTimeValue.fromZonedDateTime(
        ZonedDateTime.now(ZoneOffset.ofTotalSeconds(offsetSeconds)));
    RunContext run = new RunContext(args, Thread.currentThread().getThreadGroup(),
                                    new FileOutputStream(err), variables, directory, now, debug);
    RUNS.add(run);
    return run;
  }

  // Runs `run` (made by open) on the calling thread, the connection's.
  // Returns XslvalidateRun.run's status; 2 when it was cancelled before it
  // started (nothing is run); IN_PROCESS when the caller must run it
  // itself. A run that cannot be served here but has already written to
  // the caller's standard error fails with status 2 and says why.
  public static int run(RunContext run) {
    RUN.set(run);
    try {
      if (run.cancelled) return 2;
      int status = XslvalidateRun.run(run.args);
      String why = run.inProcessReason;
      if (why == null) return status;
      if (!run.wroteError) return IN_PROCESS;
      run.err.write(("xslvalidate: the engine server could not finish this run as the tool's"
                     + " own process would (" + why + "); run it with XSLVALIDATE_SERVER=off\n")
                        .getBytes(StandardCharsets.UTF_8));
      return 2;
    } catch (java.io.IOException e) {
      return 2;
    } finally {
      RUN.remove();
      run.end();
      RUNS.remove(run);
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

  // Cancels `run`, whose caller has gone away: a run not yet started never
  // starts; one in progress has every thread of its group stopped but the
  // calling one and the connection's, until it has ended. Stopping a
  // thread is the only way to end Saxon in the middle of a transform. The
  // connection's thread, which owns the run, removes its temporary files
  // as the run ends (XslvalidateRun), and must go on waiting until that is
  // done: it answers the caller, which may be waiting for exactly that
  // before it ends.
  public static void cancel(RunContext run) {
    run.cancel();
    // Threads the run starts after the first round (its worker, if the
    // cancel came before it started) are stopped too, each once, until the
    // run has ended.
    Set<Thread> stopped = new HashSet<>();
    while (!run.ended) {
      stopThreads(run.group, stopped);
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

  // The runs opened and not yet ended.
  static Set<RunContext> runsInProgress() {
    return RUNS;
  }

  // Stops `run` as cancel does, and has its caller run it itself for `why`
  // (or, when the run already wrote to the caller, fail saying why). Does
  // nothing once the run has ended: its connection's group may then hold
  // the connection's next run. Holding the record keeps the run from
  // ending, so that next run from starting, until its threads are stopped.
  static void handBack(RunContext run, String why) {
    synchronized (run) {
      if (run.ended) return;
      run.handBack(why);
      stopThreads(run.group, null);
    }
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
