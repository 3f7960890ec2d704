// The record of one run in the engine server, made by its connection's
// thread before anything of the run starts (XslvalidateServer.open), so a
// cancel always finds it. What the run gets from its caller instead of from
// the server's process: its options, where its standard error goes, its
// environment variables, current directory and current date and time; and
// what the server learns of the run while it goes: whether it was
// cancelled or has ended, whether it wrote to standard error, whether it
// must be run again in the caller's own process (and why), and what the
// compile in progress consults.
import java.io.ByteArrayOutputStream;
import java.io.OutputStream;
import java.util.Map;
import net.sf.saxon.value.DateTimeValue;

final class RunContext {
  // The run's options, as made from its typed record.
  final String[] args;

  // The connection's thread group: every thread of the run is in it.
  final ThreadGroup group;

  // The caller's current date and time, in its time zone, at the start.
  final DateTimeValue dateTime;

  // The caller's debug switch, for the run's trace lines.
  final boolean debug;

  // The caller's standard error, received as a descriptor.
  final OutputStream err;

  // The caller's environment.
  final Map<String, String> environment;

  // The caller's current directory.
  final String directory;

  // The numbers of the run's documents, as its own process gives them.
  final DocumentNumbers documents = new DocumentNumbers();

  // While a stylesheet is compiled for the cache, a copy of what the run
  // writes to standard error, replayed on later runs that reuse it.
  ByteArrayOutputStream capture;

  // While a stylesheet is compiled, what the compile consults beyond its
  // modules (CompileInputs); null outside compiles.
  volatile CompileInputs compiling;

  // Set once anything of the run reached the caller's standard error.
  volatile boolean wroteError;

  // Set when nothing more of the run may reach the caller: it was stopped,
  // or it moves to the caller's own process.
  volatile boolean silenced;

  // Why the run cannot be served here and belongs in the caller's own
  // process; null while it can.
  volatile String inProcessReason;

  // Set when the caller went away: a run not yet started never starts.
  volatile boolean cancelled;

  // Set once the run is over and nothing of it runs any more.
  volatile boolean ended;

  // Set for a run that only compiles its stylesheet into the cache (a
  // successor server's warm-up): it ends right after the compile.
  volatile boolean compileOnly;

  RunContext(String[] args, ThreadGroup group, OutputStream err, Map<String, String> environment,
             String directory, DateTimeValue dateTime, boolean debug) {
    this.args = args;
    this.group = group;
    this.err = err;
    this.environment = environment;
    this.directory = directory;
    this.dateTime = dateTime;
    this.debug = debug;
  }

  // Marks the run ended, once nothing of it runs any more; waits for a
  // hand-back in progress (XslvalidateServer.handBack).
  synchronized void end() {
    ended = true;
  }

  // Marks the run cancelled and silences it: the caller's process would
  // end without a word.
  synchronized void cancel() {
    cancelled = true;
    silenced = true;
  }

  // Marks the run as one its caller must run itself, for `why` (the first
  // reason given stays), and silences it.
  synchronized void handBack(String why) {
    if (inProcessReason == null) inProcessReason = why;
    silenced = true;
  }
}
